#pragma once
// DES constants as FIPS 46-3 publishes them, and the lookup tables that
// CD3Wrapper's fast DES is built from. The lookup tables are computed from the
// published ones at compile time, so nothing is typed twice and the cross
// build needs no host-side generator.

#include <array>
#include <cstdint>

namespace des_tables {

// ---------------------------------------------------------------------------
// Published tables. Bit numbers count from 1 = most significant bit of the
// first byte (or of the word), as in the standard.

inline constexpr std::array<uint8_t, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,  62, 54, 46, 38, 30, 22,
    14, 6,  64, 56, 48, 40, 32, 24, 16, 8,  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35,
    27, 19, 11, 3,  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7};

inline constexpr std::array<uint8_t, 56> kPermutedChoice1 = {
    57, 49, 41, 33, 25, 17, 9,  1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22, 14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4};

inline constexpr std::array<uint8_t, 48> kPermutedChoice2 = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

inline constexpr std::array<uint8_t, 16> kRoundShifts = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// kSBoxes[box][row * 16 + column]
inline constexpr uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8, 14, 6,  11, 3,  4, 9, 7, 2,  13, 12, 0, 5, 10, 3,  13, 4,  7, 15, 2,  8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0,  14, 7, 11, 10, 4,  13, 1, 5, 8, 12, 6,  9,  3, 2, 15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0, 8, 13, 3,  12, 9, 7, 5, 10, 6, 1, 13, 0,  11, 7, 4, 9, 1,  10, 14, 3, 5, 12, 2,  15, 8, 6,
     1, 4,  11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5,  9, 2, 6,  11, 13, 8, 1, 4, 10, 7,  9,  5, 0, 15, 14, 2,  3, 12},
    {13, 2, 8, 4, 6,  15, 11, 1, 10, 9,  3,  14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7,  4,  12, 5, 6, 11, 0, 14, 9, 2, 7,
     11, 4, 1, 9, 12, 14, 2,  0, 6,  10, 13, 15, 3, 5, 8,  2, 1, 14, 7,  4, 10, 8, 13, 15, 12, 9, 0, 3,  5, 6,  11}};

inline constexpr std::array<uint8_t, 32> kPermutationP = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                                          26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                                          3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

// ---------------------------------------------------------------------------
// Typing slips in the published tables are caught here rather than by a
// failing known answer.

template <typename Table>
constexpr bool IsSelection(const Table& table, int highest, int skipEvery) {
  bool seen[65] = {};
  for (uint8_t entry : table) {
    if (entry < 1 || entry > highest || seen[entry]) return false;
    if (skipEvery != 0 && entry % skipEvery == 0) return false;
    seen[entry] = true;
  }
  return true;
}

constexpr bool SBoxRowsArePermutations() {
  for (const auto& box : kSBoxes) {
    for (int row = 0; row < 4; ++row) {
      int seen = 0;
      for (int column = 0; column < 16; ++column) seen |= 1 << box[row * 16 + column];
      if (seen != 0xFFFF) return false;
    }
  }
  return true;
}

constexpr int SumOfShifts() {
  int sum = 0;
  for (uint8_t shift : kRoundShifts) sum += shift;
  return sum;
}

static_assert(IsSelection(kInitialPermutation, 64, 0));
static_assert(IsSelection(kPermutedChoice1, 64, 8), "PC-1 skips the parity bits");
static_assert(IsSelection(kPermutedChoice2, 56, 0));
static_assert(IsSelection(kPermutationP, 32, 0));
static_assert(SBoxRowsArePermutations());
static_assert(SumOfShifts() == 28, "the halves turn once around in 16 rounds");

// ---------------------------------------------------------------------------
// Layout shared by the round function and the key schedule.
//
// The round keeps both halves rotated right by 3 bits. Then the expansion E
// needs no table: in x = half ^ subkeyWord0 the S-box inputs 1, 3, 5, 7 sit
// in bits 24-29, 16-21, 8-13, 0-5, and in rotr(half, 4) ^ subkeyWord1 the
// inputs 8, 2, 4, 6 sit in the same places. Each subkey is stored pre-split
// into its eight 6-bit groups at exactly those places.

inline constexpr int kHalfRotation = 3;

constexpr uint32_t RotateRight(uint32_t value, int count) {
  return count == 0 ? value : (value >> count) | (value << (32 - count));
}

// Word (0 or 1) and bit offset of the 6-bit group for S-box `box` (0..7).
constexpr int GroupWord(int box) { return box % 2; }
constexpr int GroupShift(int box) { return box % 2 == 0 ? 24 - 8 * (box / 2) : 24 - 8 * (((box + 1) / 2) % 4); }

// Bit `number` (1 = most significant) of a value `width` bits wide.
constexpr bool BitOf(uint64_t value, int width, int number) { return (value >> (width - number)) & 1; }

// ---------------------------------------------------------------------------
// S-box and P combined: kSp[box][x] is P applied to the S-box output for the
// 6-bit input x (first input bit most significant), already rotated like the
// halves, so that one round is eight lookups ORed together.

using SpTables = std::array<std::array<uint32_t, 64>, 8>;

constexpr SpTables MakeSpTables() {
  SpTables tables{};
  for (int box = 0; box < 8; ++box) {
    for (int x = 0; x < 64; ++x) {
      const int row = ((x >> 4) & 2) | (x & 1);
      const int column = (x >> 1) & 0xF;
      const uint32_t sOutput = uint32_t(kSBoxes[box][row * 16 + column]) << (28 - 4 * box);
      uint32_t permuted = 0;
      for (int bit = 1; bit <= 32; ++bit) {
        if (BitOf(sOutput, 32, kPermutationP[bit - 1])) permuted |= 1u << (32 - bit);
      }
      tables[box][x] = RotateRight(permuted, kHalfRotation);
    }
  }
  return tables;
}

inline constexpr SpTables kSp = MakeSpTables();

// ---------------------------------------------------------------------------
// Key schedule by lookup.
//
// PC-1: kKeyByteBits[i][b >> 1] holds the bits that key byte i with value b
// contributes to C (bits 55..28) and D (bits 27..0). The parity bit is never
// an index, so it cannot matter.

using KeyByteTables = std::array<std::array<uint64_t, 128>, 8>;

constexpr KeyByteTables MakeKeyByteTables() {
  KeyByteTables tables{};
  for (int byteIndex = 0; byteIndex < 8; ++byteIndex) {
    for (int value = 0; value < 128; ++value) {
      const uint64_t key = uint64_t(value << 1) << (8 * (7 - byteIndex));
      uint64_t cd = 0;
      for (int bit = 1; bit <= 56; ++bit) {
        if (BitOf(key, 64, kPermutedChoice1[bit - 1])) cd |= uint64_t(1) << (56 - bit);
      }
      tables[byteIndex][value] = cd;
    }
  }
  return tables;
}

inline constexpr KeyByteTables kKeyByteBits = MakeKeyByteTables();

// PC-2: the rotated C and D are cut into eight 7-bit chunks (C bits 1-7 first,
// D bits 22-28 last); kSubkeyBits[chunk][value] holds the subkey bits that
// chunk contributes, already split into the two round-function words.

struct SubkeyWords {
  uint32_t word[2];
};
using SubkeyTables = std::array<std::array<SubkeyWords, 128>, 8>;

constexpr SubkeyTables MakeSubkeyTables() {
  SubkeyTables tables{};
  for (int chunk = 0; chunk < 8; ++chunk) {
    for (int value = 0; value < 128; ++value) {
      const uint64_t cd = uint64_t(value) << (7 * (7 - chunk));
      SubkeyWords words{};
      for (int bit = 1; bit <= 48; ++bit) {
        if (!BitOf(cd, 56, kPermutedChoice2[bit - 1])) continue;
        const int box = (bit - 1) / 6;
        const int bitInGroup = 5 - (bit - 1) % 6;
        words.word[GroupWord(box)] |= 1u << (GroupShift(box) + bitInGroup);
      }
      tables[chunk][value] = words;
    }
  }
  return tables;
}

inline constexpr SubkeyTables kSubkeyBits = MakeSubkeyTables();

constexpr std::array<uint8_t, 16> MakeCumulativeShifts() {
  std::array<uint8_t, 16> cumulative{};
  int total = 0;
  for (int round = 0; round < 16; ++round) {
    total += kRoundShifts[round];
    cumulative[round] = uint8_t(total);
  }
  return cumulative;
}

inline constexpr std::array<uint8_t, 16> kCumulativeShifts = MakeCumulativeShifts();

// The initial permutation bit by bit, as published; the fast version in the
// cipher is proved equal to it at compile time.
constexpr uint64_t InitialPermutationByTable(uint64_t block) {
  uint64_t permuted = 0;
  for (int bit = 1; bit <= 64; ++bit) {
    if (BitOf(block, 64, kInitialPermutation[bit - 1])) permuted |= uint64_t(1) << (64 - bit);
  }
  return permuted;
}

}  // namespace des_tables
