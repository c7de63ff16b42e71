#include "apps/tolva/Progress.h"

#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cstdio>

namespace qvx::Tolva {

namespace fs = boost::filesystem;

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(200);

bool Matches(const fs::path& file, const ToolSettings& s)
{
    std::string ext = file.extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == s.extension.ToFileName();
}

std::uint64_t CountFolder(const fs::path& folder, const ToolSettings& s)
{
    std::uint64_t n = 0;
    boost::system::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (fs::is_directory(it->status(ec))) n += s.subfolders ? CountFolder(it->path(), s) : 0;
        else n += Matches(it->path(), s);
    }
    return n;
}

std::uint64_t CountName(const fs::path& p, const ToolSettings& s)
{
    boost::system::error_code ec;
    fs::file_status st = fs::status(p, ec);
    if (fs::is_directory(st)) return CountFolder(p, s);
    if (fs::exists(st)) return Matches(p, s);
    return 0;
}

}  // namespace

std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds)
{
    std::string text = std::to_string(done) + "/" + std::to_string(total) + " files";
    if (done == 0 || seconds <= 0) return text;
    double rate = static_cast<double>(done) / seconds;
    auto left = static_cast<std::uint64_t>(static_cast<double>(total > done ? total - done : 0) / rate + 0.5);
    char buf[96];
    std::snprintf(buf, sizeof buf, ", %.1f files/s, %llu:%02llu left", rate,
                  static_cast<unsigned long long>(left / 60), static_cast<unsigned long long>(left % 60));
    return text + buf;
}

std::uint64_t CountInputFiles(const std::vector<std::string>& inputs, const ToolSettings& s)
{
    std::uint64_t n = 0;
    for (const std::string& name : inputs) {
        boost::system::error_code ec;
        if (fs::exists(name, ec)) n += CountName(name, s);
        else if (!fs::path(name).has_extension()) n += CountName(name + s.extension.ToFileName(), s);
    }
    return n;
}

bool Progress::Wanted() { return isatty(STDERR_FILENO) == 1; }

Progress::Progress(std::uint64_t total, ToolSettings& settings)
    : m_total(total), mp_settings(&settings), m_inner(settings.log), mp_inner_user(settings.logUser)
{
    settings.log = Sink;
    settings.logUser = this;
}

Progress::~Progress() { Finish(); }

void Progress::FileDone()
{
    ++m_done;
    Clock::time_point now = Clock::now();
    if (now - m_start < kQuietStart || (m_shown && now - m_drawn < kRedraw && m_done < m_total)) return;
    double seconds = std::chrono::duration<double>(now - m_start).count();
    std::fprintf(stderr, "\r%s\x1b[K", ProgressText(m_done, m_total, seconds).c_str());
    std::fflush(stderr);
    m_shown = true;
    m_drawn = now;
}

void Progress::Finish()
{
    if (!mp_settings) return;
    Clear();
    mp_settings->log = m_inner;
    mp_settings->logUser = mp_inner_user;
    mp_settings = nullptr;
}

void Progress::Clear()
{
    if (!m_shown) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

void Progress::Sink(int kind, const char* text, void* user)
{
    auto* self = static_cast<Progress*>(user);
    self->Clear();
    if (self->m_inner) self->m_inner(kind, text, self->mp_inner_user);
}

}  // namespace qvx::Tolva
