#pragma once
// Streams over files: the abstract stream every reader and writer of the
// project goes through, and the plain file stream that owns a descriptor.
#include <cstdint>
#include <string>

namespace qm {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Open modes. Sharing bits are accepted for fidelity but Linux has no
// mandatory sharing, so they change nothing.
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
inline constexpr uint16_t fmCreate = 0xFFFF;

// The absolute position a seek asks for, from the current position and the
// size; false for an origin that is none of the three.
bool ResolveSeekTarget(int64_t offset, int origin, int64_t current, int64_t size, int64_t& target);

class TStream {
  public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many arrived (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; returns how many were taken.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, int origin) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    // Whole reads and writes: a short transfer raises EReadError / EWriteError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
};

class TFileStream : public TStream {
  public:
    // fmCreate creates or truncates (EFCreateError on failure); any other
    // mode opens an existing file (EFOpenError). Directories are refused.
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override;

    const std::string& FileName() const { return fileName_; }
    int Handle() const { return fd_; }
    bool Writable() const { return writable_; }
    // Asks the operating system to put the file's data on disk.
    void FlushToDisk();

  private:
    std::string fileName_;
    int fd_ = -1;
    bool writable_ = false;
};

}  // namespace qm
