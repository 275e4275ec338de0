#pragma once
// The generator's only source of chance. Every stream is derived from the user's seed and a
// fixed stream number, so one kind of entry draws the same numbers whatever the counts of the
// other kinds are, and a prefix is the same byte for byte for the same options.

#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::generator::detail {

/// xoshiro256** seeded through splitmix64: fast, small and identical on every platform, which
/// std::mt19937 with std::uniform_int_distribution is not.
class Random {
public:
  Random(std::uint64_t seed, std::uint64_t stream) {
    std::uint64_t x = seed ^ (stream * 0x9E3779B97F4A7C15ull);
    for (auto &word : m_state)
      word = splitMix(x);
  }

  std::uint64_t next() {
    const std::uint64_t result = rotl(m_state[1] * 5, 7) * 9;
    const std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = rotl(m_state[3], 45);
    return result;
  }

  /// A number in [0, bound); bound must be positive.
  std::uint64_t below(std::uint64_t bound) {
    assert(bound > 0 && "empty range");
    // The modulo bias is below bound / 2^64, far under anything a prefix could show.
    return next() % bound;
  }
  /// A number in [lo, hi].
  std::int64_t between(std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(hi - lo) + 1));
  }
  /// True with probability `percent` / 100.
  bool chance(unsigned percent) { return below(100) < percent; }

  template <typename T> const T &pick(const std::vector<T> &items) {
    return items[below(items.size())];
  }
  template <typename T, std::size_t N> const T &pick(const T (&items)[N]) {
    return items[below(N)];
  }

  /// A class identifier in the registry's usual form: {8-4-4-4-12}, upper-case hex digits.
  std::string guid() {
    static constexpr char digits[] = "0123456789ABCDEF";
    const std::uint64_t hi = next();
    const std::uint64_t lo = next();
    std::string text = "{";
    for (int i = 0; i < 32; ++i) {
      if (i == 8 || i == 12 || i == 16 || i == 20)
        text += '-';
      const std::uint64_t word = i < 16 ? hi : lo;
      text += digits[(word >> (60 - 4 * (i % 16))) & 0xF];
    }
    text += '}';
    return text;
  }

  /// Marks exactly `count` of `total` positions, chosen evenly at random.
  std::vector<bool> choose(std::size_t total, std::size_t count) {
    assert(count <= total && "cannot choose more than there are");
    std::vector<std::size_t> order(total);
    for (std::size_t i = 0; i < total; ++i)
      order[i] = i;
    std::vector<bool> chosen(total, false);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t j = i + below(total - i);
      std::swap(order[i], order[j]);
      chosen[order[i]] = true;
    }
    return chosen;
  }

private:
  std::uint64_t m_state[4];

  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  static std::uint64_t splitMix(std::uint64_t &x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

} // namespace tw::generator::detail
