// A random source for the kill tests whose seed is printed, so that a
// failure can be replayed: LVN_KILL_SEED=<seed> runs the same moments again.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <random>

inline std::mt19937 seeded_random() {
  const char* fixed = std::getenv("LVN_KILL_SEED");
  const unsigned seed = fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                              : std::random_device{}();
  std::printf("[ seed     ] LVN_KILL_SEED=%u\n", seed);
  return std::mt19937(seed);
}
