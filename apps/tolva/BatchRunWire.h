#pragma once
// The bytes between the batch and its worker processes. A job is two strings (the file and
// its output folder), each a 4-byte length and the bytes; a result is an 8-byte length and
// that many bytes of output records. Lengths are little-endian.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvx::Tolva {

// A worker ends with this status when an allocation fails under --max-memory.
inline constexpr int kWorkerOutOfMemory = 86;

void AppendNumber(std::string& out, std::uint64_t n, int bytes);

// Reads numbers and byte runs off a worker's bytes; throws when they end too soon.
class WireReader {
public:
    explicit WireReader(std::string_view bytes) : m_bytes(bytes) {}
    std::uint64_t Number(int bytes);
    std::string_view Bytes(std::uint64_t n);
    std::size_t Remaining() const { return m_bytes.size(); }

private:
    std::string_view m_bytes;
};

// One output record: a channel byte (a log kind, or 0 for report text), a 4-byte length, the text.
void AppendRecord(std::string& out, char channel, std::string_view text);
void AppendString(std::string& out, std::string_view text);
// Takes the first record off `records`; false when none is left. Throws on a cut record.
bool NextRecord(std::string_view& records, char& channel, std::string_view& text);
// A result as a worker sends it.
std::string ResultMessage(std::string_view records);

// Writes everything, retrying after interruptions; false when the other end is gone.
bool WriteAll(int fd, std::string_view bytes);
// Reads the strings of jobs from a pipe, taking in whatever is there at each read so that
// a run of small jobs costs one system call rather than four each.
class JobReader {
public:
    explicit JobReader(int fd) : m_fd(fd) {}
    // Reads one string; false at the end of input.
    bool Next(std::string& text);

private:
    bool Fill(std::size_t want);

    int m_fd;
    std::string m_buffer;
    std::size_t m_at = 0;
};
// Removes one complete result from the front of what was received, when it is all there.
std::optional<std::string> TakeMessage(std::string& received);

}  // namespace qvx::Tolva
