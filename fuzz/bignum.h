// Unsigned integers of any size, just enough to compare binary and decimal
// fractions exactly: multiply by a small number, by a power of two or ten,
// add, subtract, compare.
#ifndef FUZZ_BIGNUM_H_
#define FUZZ_BIGNUM_H_

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

class BigNum {
 public:
  BigNum() = default;
  explicit BigNum(std::uint64_t value) {
    while (value != 0) {
      limbs_.push_back(static_cast<std::uint32_t>(value));
      value >>= 32;
    }
  }

  static BigNum FromDigits(std::string_view digits) {
    BigNum n;
    for (char c : digits) n.MultiplyAdd(10, static_cast<std::uint32_t>(c - '0'));
    return n;
  }

  BigNum& MultiplyAdd(std::uint32_t factor, std::uint32_t addend = 0) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : limbs_) {
      std::uint64_t product = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
    Trim();
    return *this;
  }

  BigNum& ShiftLeft(int bits) {
    if (limbs_.empty() || bits == 0) return *this;
    limbs_.insert(limbs_.begin(), static_cast<std::size_t>(bits / 32), 0u);
    int rest = bits % 32;
    if (rest != 0) {
      std::uint32_t carry = 0;
      for (std::uint32_t& limb : limbs_) {
        std::uint32_t next = limb >> (32 - rest);
        limb = (limb << rest) | carry;
        carry = next;
      }
      if (carry != 0) limbs_.push_back(carry);
    }
    return *this;
  }

  BigNum& MultiplyByPowerOfTen(int exponent) {
    for (; exponent >= 9; exponent -= 9) MultiplyAdd(1000000000u);
    static const std::uint32_t kSmall[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    return MultiplyAdd(kSmall[exponent]);
  }

  BigNum& operator+=(const BigNum& other) {
    if (limbs_.size() < other.limbs_.size()) limbs_.resize(other.limbs_.size(), 0u);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      std::uint64_t sum = carry + limbs_[i] + (i < other.limbs_.size() ? other.limbs_[i] : 0u);
      limbs_[i] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
    if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
    return *this;
  }

  // |a - b|.
  static BigNum Distance(const BigNum& a, const BigNum& b) {
    const BigNum& big = Compare(a, b) >= 0 ? a : b;
    const BigNum& small = &big == &a ? b : a;
    BigNum d = big;
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < d.limbs_.size(); ++i) {
      std::int64_t diff = static_cast<std::int64_t>(d.limbs_[i]) - borrow -
                          (i < small.limbs_.size() ? small.limbs_[i] : 0u);
      borrow = diff < 0 ? 1 : 0;
      d.limbs_[i] = static_cast<std::uint32_t>(diff + (borrow << 32));
    }
    d.Trim();
    return d;
  }

  static int Compare(const BigNum& a, const BigNum& b) {
    if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() < b.limbs_.size() ? -1 : 1;
    for (std::size_t i = a.limbs_.size(); i-- > 0;) {
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    }
    return 0;
  }

  bool IsZero() const { return limbs_.empty(); }

 private:
  void Trim() {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
  }

  std::vector<std::uint32_t> limbs_;  // least significant first
};

#endif  // FUZZ_BIGNUM_H_
