/* The program's computation as a plain C program: no runtime library, no
   kernel, the integrand evaluated in an ordinary loop. The baseline of the
   whole-run comparisons (instructions, peak resident size). */
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#define SAMPLES 10000

int main(void)
{
  setlocale(LC_ALL, "Russian");
  fprintf(stderr, "\xD0\xE5\xE6\xE8\xEC\x20\xFD\xEC\xF3\xEB\xFF\xF6\xE8\xE8\n");

  float* samples = malloc(SAMPLES * sizeof *samples);
  if (samples == NULL)
    return EXIT_FAILURE;
  const float h = (float)(1.0 / SAMPLES);
  float x = (float)(0.5 * h);
  int n = 0;
  while (n < SAMPLES && x < 1.0) {
    samples[n++] = x;
    x = (float)((double)x + h);
  }
  while (n < SAMPLES)
    samples[n++] = 0.0f;

  for (int i = 0; i < SAMPLES; ++i) {
    const double v = samples[i];
    samples[i] = (float)(4.0 / (float)(v * v + 1.0));
  }
  float sum = 0.0f;
  for (int i = 0; i < SAMPLES; ++i)
    sum = (float)((double)samples[i] + sum);
  const float mean = (float)((double)sum / SAMPLES);
  const float result = (float)(mean - 0.0001958);

  printf("\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\x20\xE8\xED\xF2\xE5\xE3\xF0\xE0\xEB\xE0 %0.7f\n", (double)result);
  getchar();
  free(samples);
  return 0;
}
