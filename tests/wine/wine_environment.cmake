# What every Wine test shares: the throw-away prefix, a quiet Wine, the
# program's expected lines, and the check that reports a mismatch.
#
# Wine's own texts (the pause prompt) and its console's output encoding follow
# the Unix locale: pinned, every run meets the same ones.
set(ENV{LC_ALL} "C.UTF-8")
set(ENV{WINEPREFIX} "${WORK}/prefix")
set(ENV{WINEDEBUG} "-all")
# A console-only prefix: no offer to install Mono or Gecko when it is made.
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{CUDART_EMU_FAIL})

# The program's lines as the Windows-1251 bytes it writes, CR LF ended, the
# result with the Russian locale's decimal comma.
set(notice "d0e5e6e8ec20fdecf3ebfff6e8e80d0a")
set(result "c7ede0f7e5ede8e520e8edf2e5e3f0e0ebe020332c313431353932370d0a")

# Reports a mismatch (bytes in hex, or screen text), cut short where a crash report or
# the like would bury the start.
function(expect_equal what actual expected)
  if(NOT actual STREQUAL expected)
    string(SUBSTRING "${actual}" 0 400 shown)
    if(NOT shown STREQUAL actual)
      string(APPEND shown "...")
    endif()
    message(SEND_ERROR "${what}\n  expected: ${expected}\n  actual:   ${shown}")
  endif()
endfunction()
