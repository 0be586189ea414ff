#include "voka/codec/d3_wrapper.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "codec/des_tables.h"

namespace {

using des_tables::GroupShift;
using des_tables::kHalfRotation;
using des_tables::kSp;
using des_tables::RotateRight;

constexpr int kBlockBytes = CD3Wrapper::kBlockBytes;

// Start of every key derivation, first byte first.
constexpr unsigned char kStartKey[kBlockBytes] = {0x1F, 0x2E, 0x3D, 0x4C, 0x5B, 0x6A, 0x79, 0x88,
                                                  0x97, 0xA6, 0xB5, 0xC4, 0xD3, 0xE2, 0xF1, 0x00,
                                                  0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78};

// Longest input whose whole-block output size still fits the int result.
constexpr int kMaxCryptLength = INT_MAX / kBlockBytes * kBlockBytes;

constexpr uint32_t RotateLeft(uint32_t value, int count) { return RotateRight(value, 32 - count); }

uint32_t LoadBigEndian(const unsigned char* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

void StoreBigEndian(uint32_t word, unsigned char* bytes) {
  bytes[0] = uint8_t(word >> 24);
  bytes[1] = uint8_t(word >> 16);
  bytes[2] = uint8_t(word >> 8);
  bytes[3] = uint8_t(word);
}

// Swaps the bits of b under mask with the bits of a under mask << shift. Five
// of these move every bit of IP to its place at a few operations per step,
// instead of 64 single-bit moves.
constexpr void ExchangeBits(uint32_t& a, uint32_t& b, int shift, uint32_t mask) {
  const uint32_t moved = ((a >> shift) ^ b) & mask;
  b ^= moved;
  a ^= moved << shift;
}

constexpr void InitialPermutation(uint32_t& left, uint32_t& right) {
  ExchangeBits(left, right, 4, 0x0F0F0F0F);
  ExchangeBits(left, right, 16, 0x0000FFFF);
  ExchangeBits(right, left, 2, 0x33333333);
  ExchangeBits(right, left, 8, 0x00FF00FF);
  ExchangeBits(left, right, 1, 0x55555555);
}

// Each exchange undoes itself, so the same steps in reverse order give IP^-1.
constexpr void FinalPermutation(uint32_t& left, uint32_t& right) {
  ExchangeBits(left, right, 1, 0x55555555);
  ExchangeBits(right, left, 8, 0x00FF00FF);
  ExchangeBits(right, left, 2, 0x33333333);
  ExchangeBits(left, right, 16, 0x0000FFFF);
  ExchangeBits(left, right, 4, 0x0F0F0F0F);
}

// Both are bit permutations, so agreeing on every single-bit block proves
// them equal to the published table on all blocks.
constexpr bool PermutationsMatchTable() {
  for (int bit = 0; bit < 64; ++bit) {
    const uint64_t block = uint64_t(1) << bit;
    uint32_t left = uint32_t(block >> 32);
    uint32_t right = uint32_t(block);
    InitialPermutation(left, right);
    if ((uint64_t(left) << 32 | right) != des_tables::InitialPermutationByTable(block)) return false;
    FinalPermutation(left, right);
    if ((uint64_t(left) << 32 | right) != block) return false;
  }
  return true;
}
static_assert(PermutationsMatchTable());

// f(R, K) on a half kept rotated right by kHalfRotation: E is two rotations,
// S and P are eight lookups whose results occupy disjoint bits.
inline uint32_t RoundFunction(uint32_t half, uint32_t subkey0, uint32_t subkey1) {
  const uint32_t even = half ^ subkey0;
  const uint32_t odd = RotateRight(half, 4) ^ subkey1;
  return kSp[0][(even >> GroupShift(0)) & 63] | kSp[2][(even >> GroupShift(2)) & 63] |
         kSp[4][(even >> GroupShift(4)) & 63] | kSp[6][(even >> GroupShift(6)) & 63] |
         kSp[1][(odd >> GroupShift(1)) & 63] | kSp[3][(odd >> GroupShift(3)) & 63] |
         kSp[5][(odd >> GroupShift(5)) & 63] | kSp[7][(odd >> GroupShift(7)) & 63];
}

// DES on `count` independent blocks at once, words[2i] and words[2i + 1]
// being block i's halves. Three blocks side by side give the processor three
// independent chains of lookups to overlap, where one block waits on each
// round's loads before the next can start.
template <int count>
inline void DesBlocks(uint32_t* words, const uint32_t* schedule) {
  uint32_t left[count];
  uint32_t right[count];
  for (int i = 0; i < count; ++i) {
    left[i] = words[2 * i];
    right[i] = words[2 * i + 1];
    InitialPermutation(left[i], right[i]);
    left[i] = RotateRight(left[i], kHalfRotation);
    right[i] = RotateRight(right[i], kHalfRotation);
  }
  // Two rounds per step, so the halves change roles without being moved.
#pragma GCC unroll 8
  for (int k = 0; k < CD3Wrapper::kScheduleWords; k += 4) {
    for (int i = 0; i < count; ++i) left[i] ^= RoundFunction(right[i], schedule[k], schedule[k + 1]);
    for (int i = 0; i < count; ++i) right[i] ^= RoundFunction(left[i], schedule[k + 2], schedule[k + 3]);
  }
  // After an even number of rounds the pre-output block (R16, L16) is
  // (right, left).
  for (int i = 0; i < count; ++i) {
    uint32_t outLeft = RotateLeft(right[i], kHalfRotation);
    uint32_t outRight = RotateLeft(left[i], kHalfRotation);
    FinalPermutation(outLeft, outRight);
    words[2 * i] = outLeft;
    words[2 * i + 1] = outRight;
  }
}

// 28-bit rotation of a key half; count is 1..28.
uint32_t RotateHalfKey(uint32_t half, int count) { return ((half << count) | (half >> (28 - count))) & 0x0FFFFFFF; }

}  // namespace

CD3Wrapper::CD3Wrapper() : m_nMode(-1), m_Sched1{}, m_Sched2{}, m_Sched3{} {}

CD3Wrapper::~CD3Wrapper() = default;

void CD3Wrapper::DesKeySchedule(const unsigned char* key8, int direction, uint32_t schedule[kScheduleWords]) {
  uint64_t cd = 0;
  for (int i = 0; i < 8; ++i) cd |= des_tables::kKeyByteBits[i][key8[i] >> 1];
  const uint32_t c = uint32_t(cd >> 28);
  const uint32_t d = uint32_t(cd) & 0x0FFFFFFF;
  for (int round = 0; round < 16; ++round) {
    const int shift = des_tables::kCumulativeShifts[round];
    const uint64_t rotated = uint64_t(RotateHalfKey(c, shift)) << 28 | RotateHalfKey(d, shift);
    uint32_t word0 = 0;
    uint32_t word1 = 0;
    for (int chunk = 0; chunk < 8; ++chunk) {
      const auto& bits = des_tables::kSubkeyBits[chunk][(rotated >> (7 * (7 - chunk))) & 0x7F];
      word0 |= bits.word[0];
      word1 |= bits.word[1];
    }
    const int slot = direction == 1 ? 15 - round : round;
    schedule[2 * slot] = word0;
    schedule[2 * slot + 1] = word1;
  }
}

void CD3Wrapper::DesBlock(uint32_t block[2], const uint32_t schedule[kScheduleWords]) { DesBlocks<1>(block, schedule); }

void CD3Wrapper::CryptBlock(const unsigned char* in, unsigned char* out) {
  // L0 L1 M0 M1 R0 R1: three DES blocks side by side.
  uint32_t words[6];
  for (int i = 0; i < 6; ++i) words[i] = LoadBigEndian(in + 4 * i);
  DesBlocks<3>(words, m_Sched1);
  std::swap(words[1], words[2]);
  std::swap(words[3], words[4]);
  DesBlocks<3>(words, m_Sched2);
  std::swap(words[1], words[2]);
  std::swap(words[3], words[4]);
  DesBlocks<3>(words, m_Sched3);
  for (int i = 0; i < 6; ++i) StoreBigEndian(words[i], out + 4 * i);
}

void CD3Wrapper::BuildSchedules(const unsigned char* key, short mode) {
  if (mode == 0) {
    DesKeySchedule(key, 0, m_Sched1);
    DesKeySchedule(key + 8, 1, m_Sched2);
    DesKeySchedule(key + 16, 0, m_Sched3);
  } else {
    DesKeySchedule(key + 16, 1, m_Sched1);
    DesKeySchedule(key + 8, 0, m_Sched2);
    DesKeySchedule(key, 1, m_Sched3);
  }
}

int CD3Wrapper::SetKey(const unsigned char* key, short mode) {
  // Any other direction would mix forward and reverse schedules into a
  // cipher that nothing can undo.
  if (key == nullptr || (mode != 0 && mode != 1)) return -1;
  BuildSchedules(key, mode);
  m_nMode = mode;
  return 0;
}

void CD3Wrapper::SaveSchedules(uint32_t saved[kSavedWords]) const {
  std::copy(m_Sched1, m_Sched1 + kScheduleWords, saved);
  std::copy(m_Sched2, m_Sched2 + kScheduleWords, saved + kScheduleWords);
  std::copy(m_Sched3, m_Sched3 + kScheduleWords, saved + 2 * kScheduleWords);
}

void CD3Wrapper::RestoreSchedules(const uint32_t saved[kSavedWords]) {
  std::copy(saved, saved + kScheduleWords, m_Sched1);
  std::copy(saved + kScheduleWords, saved + 2 * kScheduleWords, m_Sched2);
  std::copy(saved + 2 * kScheduleWords, saved + kSavedWords, m_Sched3);
}

void CD3Wrapper::MakeKey(char* passPhrase, unsigned char* key) {
  if (key == nullptr) return;
  // The schedules are borrowed for the start key and given back, so a key
  // installed by SetKey survives.
  uint32_t saved[kSavedWords];
  SaveSchedules(saved);
  BuildSchedules(kStartKey, 0);
  std::memcpy(key, kStartKey, kBlockBytes);

  char* next = passPhrase;
  do {
    // Only the low seven bits of each character count; each pass restarts
    // at key byte 0 and consumes (zeroes) what it used.
    for (int i = 0; i < kBlockBytes && next != nullptr && *next != 0; ++i, ++next) {
      key[i] ^= uint8_t(*next) & 0x7F;
      *next = 0;
    }
    CryptBlock(key, key);
  } while (next != nullptr && *next != 0);

  RestoreSchedules(saved);
}

int CD3Wrapper::Crypt(const unsigned char* data, int length, unsigned char** out) {
  if (m_nMode < 0) return -1;
  if (out == nullptr || *out != nullptr || data == nullptr || length < 0 || length > kMaxCryptLength) {
    return -2;
  }
  const size_t inputLength = size_t(length);
  size_t size = (inputLength + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
  // Every byte is written below, so the array needs no zero fill; a failed
  // allocation throws before *out is touched.
  unsigned char* output = new unsigned char[size];
  *out = output;

  unsigned char spare[kBlockBytes];
  std::memset(spare, 0xFF, sizeof spare);
  for (size_t p = 0; p < inputLength; p += kBlockBytes) {
    if (inputLength - p >= size_t(kBlockBytes)) {
      CryptBlock(data + p, output + p);
    } else {
      std::memcpy(spare, data + p, inputLength - p);
      CryptBlock(spare, output + p);
    }
  }

  while (size > 0 && output[size - 1] == 0xFF) {
    output[size - 1] = 0;
    --size;
  }
  return int(size);
}
