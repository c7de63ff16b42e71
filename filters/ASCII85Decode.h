#pragma once
// Base-85 text to bytes. White space is skipped, z stands for four zero bytes, ~ (or the
// end of the input) ends the data; any other byte outside ! to u ends it quietly.

#include <array>

#include "filters/Filter.h"

namespace qvx::Filters {

class ASCII85Decode : public BufFilter {
public:
    explicit ASCII85Decode(std::unique_ptr<Filter> in);

    const char* GetName() const override { return "ASCII85Decode"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    // Ends the data, turning a partial group of two to four digits into one to three bytes.
    void Finish85();
    void PutGroup(std::uint64_t value, int bytes);

    std::uint64_t m_value = 0;
    int m_digits = 0;
    bool m_started = false;  // past an optional <~ at the start
    bool m_done = false;
    std::array<Byte, 4> m_pending{};
    int m_pending_pos = 0;
    int m_pending_end = 0;
};

}  // namespace qvx::Filters
