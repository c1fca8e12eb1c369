// SHA-256 (FIPS 180-4), fed in pieces; for the checksums in the sidecars.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
  public:
    Sha256();
    void update(const void* data, size_t n);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string hexDigest();

  private:
    void block(const uint8_t* p);
    std::array<uint32_t, 8> h_;
    std::array<uint8_t, 64> buf_{};
    size_t used_ = 0;
    uint64_t bytes_ = 0;
};

// The SHA-256 of a file's contents, read in blocks; empty with `error` set
// when the file cannot be read.
std::string sha256OfFile(const std::string& path, std::string& error);
