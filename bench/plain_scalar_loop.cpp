#include "plain_loop.h"

void plain_scalar_loop(float* a, int n)
{
  integrand_loop(a, n);
}
