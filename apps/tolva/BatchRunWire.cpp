#include "apps/tolva/BatchRunWire.h"

#include <unistd.h>

#include <cerrno>

#include "common/Exception.h"

namespace qvx::Tolva {

namespace {

std::uint64_t ReadNumber(std::string_view in, int bytes)
{
    std::uint64_t n = 0;
    for (int i = 0; i < bytes; ++i) n |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return n;
}

}  // namespace

void AppendNumber(std::string& out, std::uint64_t n, int bytes)
{
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

std::uint64_t WireReader::Number(int bytes)
{
    QVX_CHECK(m_bytes.size() >= static_cast<std::size_t>(bytes), "A worker's result ends inside a number");
    std::uint64_t n = ReadNumber(m_bytes, bytes);
    m_bytes.remove_prefix(static_cast<std::size_t>(bytes));
    return n;
}

std::string_view WireReader::Bytes(std::uint64_t n)
{
    QVX_CHECK(m_bytes.size() >= n, "A worker's result is shorter than a length it gives");
    std::string_view out = m_bytes.substr(0, n);
    m_bytes.remove_prefix(n);
    return out;
}

void AppendRecord(std::string& out, char channel, std::string_view text)
{
    out += channel;
    AppendNumber(out, text.size(), 4);
    out += text;
}

void AppendString(std::string& out, std::string_view text)
{
    AppendNumber(out, text.size(), 4);
    out += text;
}

bool NextRecord(std::string_view& records, char& channel, std::string_view& text)
{
    if (records.empty()) return false;
    QVX_CHECK(records.size() >= 5, "A worker's output ends inside a record header");
    channel = records[0];
    std::uint64_t n = ReadNumber(records.substr(1), 4);
    QVX_CHECK(records.size() - 5 >= n, "A worker's output record is longer than what remains");
    text = records.substr(5, n);
    records.remove_prefix(5 + n);
    return true;
}

std::string ResultMessage(std::string_view records)
{
    std::string out;
    AppendNumber(out, records.size(), 8);
    out += records;
    return out;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool JobReader::Fill(std::size_t want)
{
    while (m_buffer.size() - m_at < want) {
        // What was read is dropped before more comes in, so the buffer holds one read at most.
        m_buffer.erase(0, m_at);
        m_at = 0;
        char chunk[65536];
        ssize_t n = read(m_fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

bool JobReader::Next(std::string& text)
{
    if (!Fill(4)) return false;
    std::uint64_t n = ReadNumber(std::string_view(m_buffer).substr(m_at), 4);
    m_at += 4;
    if (!Fill(n)) return false;
    text.assign(m_buffer, m_at, n);
    m_at += n;
    return true;
}

std::optional<std::string> TakeMessage(std::string& received)
{
    if (received.size() < 8) return std::nullopt;
    std::uint64_t n = ReadNumber(received, 8);
    if (received.size() - 8 < n) return std::nullopt;
    std::string message = received.substr(8, n);
    received.erase(0, 8 + n);
    return message;
}

}  // namespace qvx::Tolva
