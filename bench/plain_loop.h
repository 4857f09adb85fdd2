// calc's arithmetic as a plain loop over the array: the baseline of the
// launch benchmark. Its results equal calc's wherever x*x + 1 stays below
// 2^126, where calc's division takes its plain quotient, as on every array
// the benchmark uses. Compiled twice, with and without auto-vectorisation.
#ifndef BENCH_PLAIN_LOOP_H
#define BENCH_PLAIN_LOOP_H

inline void integrand_loop(float* a, int n)
{
  for (int i = 0; i < n; ++i) {
    const double x = a[i];
    a[i] = static_cast<float>(4.0 / static_cast<float>(x * x + 1.0));
  }
}

// Built with auto-vectorisation off: one element per iteration.
void plain_scalar_loop(float* a, int n);
// Built with the project's flags, which let the compiler vectorise it.
void plain_vectorised_loop(float* a, int n);

#endif
