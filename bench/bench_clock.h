// Timing helpers shared by the Windows benchmarks.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

// Milliseconds from the performance counter.
inline double Now() {
  static const LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Microseconds per call of `call`, over 2000 calls.
template <typename F>
double MicrosPerCall(F call) {
  const int n = 2000;
  const double t0 = Now();
  for (int i = 0; i < n; ++i) call();
  return (Now() - t0) * 1000.0 / n;
}
