#pragma once
// The Triple-DES variant that seals request parameters: 24-byte blocks made
// of three DES blocks that exchange words between the encrypt-decrypt-encrypt
// stages, short last blocks filled with 0xFF, trailing 0xFF output dropped.

#include <cstdint>

class CD3Wrapper {
 public:
  static constexpr int kBlockBytes = 24;
  static constexpr int kScheduleWords = 32;  // 16 subkeys of two words each
  static constexpr int kSavedWords = 3 * kScheduleWords;

  CD3Wrapper();
  virtual ~CD3Wrapper();

  // Derives a 24-byte key from passPhrase and zeroes every character it
  // consumed. The installed key and direction are left as they were.
  void MakeKey(char* passPhrase, unsigned char* key /*24*/);

  // Installs key for mode 0 (encrypt) or 1 (decrypt). Returns 0, or -1 for a
  // null key or any other mode (nothing changed then).
  int SetKey(const unsigned char* key /*24*/, short mode);

  // Encrypts or decrypts, as SetKey chose, into a new array of whole blocks
  // (release with delete[]). Returns the byte count after trimming trailing
  // 0xFF; -1 without a key; -2 when *out is not null, data is null, or length
  // is negative or too large for an int result.
  int Crypt(const unsigned char* data, int length, unsigned char** out);

  // One 24-byte block; in and out may be the same buffer.
  void CryptBlock(const unsigned char* in /*24*/, unsigned char* out /*24*/);

  // Single DES on (block[0], block[1]), the big-endian halves, in place.
  static void DesBlock(uint32_t block[2], const uint32_t schedule[kScheduleWords]);

  // Subkeys of one 8-byte key: forward (encrypt) order, or reverse (decrypt)
  // order when direction is 1.
  static void DesKeySchedule(const unsigned char* key8, int direction, uint32_t schedule[kScheduleWords]);

  void SaveSchedules(uint32_t saved[kSavedWords]) const;
  void RestoreSchedules(const uint32_t saved[kSavedWords]);

 private:
  void BuildSchedules(const unsigned char* key, short mode);

  int m_nMode;
  uint32_t m_Sched1[kScheduleWords];
  uint32_t m_Sched2[kScheduleWords];
  uint32_t m_Sched3[kScheduleWords];
};
