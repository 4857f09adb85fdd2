// The program's texts, stored as Windows-1251 bytes.
#ifndef HOST_TEXTS_H
#define HOST_TEXTS_H

// "Режим эмуляции\n"
inline constexpr char emulation_notice[] = "\xD0\xE5\xE6\xE8\xEC\x20\xFD\xEC\xF3\xEB\xFF\xF6\xE8\xE8\x0A";
// "Значение интеграла %0.7f\n"
inline constexpr char result_format[] =
    "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\x20\xE8\xED\xF2\xE5\xE3\xF0\xE0\xEB\xE0\x20\x25\x30\x2E\x37\x66\x0A";
// "Ошибка: %s: %s\n": the failed step, then the reason.
inline constexpr char failure_format[] = "\xCE\xF8\xE8\xE1\xEA\xE0\x3A\x20%s: %s\n";

// The steps a failure names.
// "выделение памяти узла (malloc)"
inline constexpr char step_host_allocation[] =
    "\xE2\xFB\xE4\xE5\xEB\xE5\xED\xE8\xE5\x20\xEF\xE0\xEC\xFF\xF2\xE8\x20\xF3\xE7\xEB\xE0 (malloc)";
// "выделение памяти устройства (cudaMalloc)"
inline constexpr char step_device_allocation[] =
    "\xE2\xFB\xE4\xE5\xEB\xE5\xED\xE8\xE5\x20\xEF\xE0\xEC\xFF\xF2\xE8\x20\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 "
    "(cudaMalloc)";
// "копирование на устройство (cudaMemcpy)"
inline constexpr char step_copy_to_device[] =
    "\xEA\xEE\xEF\xE8\xF0\xEE\xE2\xE0\xED\xE8\xE5\x20\xED\xE0\x20\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE (cudaMemcpy)";
// "настройка запуска (cudaConfigureCall)"
inline constexpr char step_configuration[] = "\xED\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0\x20\xE7\xE0\xEF\xF3\xF1\xEA\xE0 "
                                             "(cudaConfigureCall)";
// "запуск ядра calc (cudaSetupArgument, cudaLaunch)"
inline constexpr char step_launch[] =
    "\xE7\xE0\xEF\xF3\xF1\xEA\x20\xFF\xE4\xF0\xE0 calc (cudaSetupArgument, cudaLaunch)";
// "копирование с устройства (cudaMemcpy)"
inline constexpr char step_copy_to_host[] =
    "\xEA\xEE\xEF\xE8\xF0\xEE\xE2\xE0\xED\xE8\xE5\x20\xF1\x20\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 (cudaMemcpy)";
// "запись результата"
inline constexpr char step_output[] = "\xE7\xE0\xEF\xE8\xF1\xFC \xF0\xE5\xE7\xF3\xEB\xFC\xF2\xE0\xF2\xE0";
// "недостаточно памяти"
inline constexpr char reason_out_of_memory[] =
    "\xED\xE5\xE4\xEE\xF1\xF2\xE0\xF2\xEE\xF7\xED\xEE\x20\xEF\xE0\xEC\xFF\xF2\xE8";

#endif
