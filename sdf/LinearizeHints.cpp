#include "sdf/LinearizeHints.h"

#include <algorithm>

namespace qvx::SDF {

namespace {

// Writes bit fields, most significant bit first.
class BitWriter {
public:
    void Put(std::uint64_t value, int bits)
    {
        for (int b = bits - 1; b >= 0; --b) {
            m_acc = static_cast<Common::Byte>((m_acc << 1) | ((value >> b) & 1));
            if (++m_nbits == 8) Emit();
        }
    }
    // Pads to the next byte: every item of a table starts on a byte boundary.
    void Align()
    {
        if (m_nbits > 0) {
            m_acc = static_cast<Common::Byte>(m_acc << (8 - m_nbits));
            Emit();
        }
    }
    Common::Bytes& Data() { return m_out; }

private:
    void Emit()
    {
        m_out.push_back(m_acc);
        m_acc = 0;
        m_nbits = 0;
    }
    Common::Bytes m_out;
    Common::Byte m_acc = 0;
    int m_nbits = 0;
};

int BitsFor(std::uint64_t v)
{
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

struct Range {
    std::uint64_t least = 0;
    int bits = 0;
};

template <class F>
Range RangeOf(std::size_t count, F value)
{
    if (count == 0) return {};
    std::uint64_t lo = value(0), hi = lo;
    for (std::size_t i = 1; i < count; ++i) {
        lo = std::min(lo, value(i));
        hi = std::max(hi, value(i));
    }
    return {lo, BitsFor(hi - lo)};
}

}  // namespace

HintStreamData EncodeHints(const HintTables& t)
{
    BitWriter w;
    const auto& pages = t.pages;
    Range objects = RangeOf(pages.size(), [&](std::size_t i) { return std::uint64_t{pages[i].objects}; });
    Range length = RangeOf(pages.size(), [&](std::size_t i) { return pages[i].length; });
    std::uint64_t most_shared = 0, greatest_id = 0;
    for (const auto& p : pages) {
        most_shared = std::max<std::uint64_t>(most_shared, p.shared.size());
        for (std::uint32_t id : p.shared) greatest_id = std::max<std::uint64_t>(greatest_id, id);
    }
    const int shared_bits = BitsFor(most_shared), id_bits = BitsFor(greatest_id);

    // Page offset hint table header. Content streams are described as the whole page
    // (offset 0, the page's length), and shared references carry no position (0 bits).
    w.Put(objects.least, 32);
    w.Put(t.first_page_offset, 32);
    w.Put(static_cast<std::uint64_t>(objects.bits), 16);
    w.Put(length.least, 32);
    w.Put(static_cast<std::uint64_t>(length.bits), 16);
    w.Put(0, 32);
    w.Put(0, 16);
    w.Put(length.least, 32);
    w.Put(static_cast<std::uint64_t>(length.bits), 16);
    w.Put(static_cast<std::uint64_t>(shared_bits), 16);
    w.Put(static_cast<std::uint64_t>(id_bits), 16);
    w.Put(0, 16);
    w.Put(1, 16);
    auto item = [&](auto value, int bits) {
        for (const auto& p : pages) w.Put(value(p), bits);
        w.Align();
    };
    item([&](const PageHint& p) { return p.objects - objects.least; }, objects.bits);
    item([&](const PageHint& p) { return p.length - length.least; }, length.bits);
    item([&](const PageHint& p) { return std::uint64_t{p.shared.size()}; }, shared_bits);
    for (const auto& p : pages)
        for (std::uint32_t id : p.shared) w.Put(id, id_bits);
    w.Align();
    item([](const PageHint&) { return std::uint64_t{0}; }, 0);  // content offsets: 0 bits
    item([&](const PageHint& p) { return p.length - length.least; }, length.bits);

    HintStreamData out;
    out.shared_table_offset = static_cast<std::uint32_t>(w.Data().size());

    // Shared object hint table: one object per group, no signatures.
    const auto& lengths = t.entry_lengths;
    Range glen = RangeOf(lengths.size(), [&](std::size_t i) { return lengths[i]; });
    w.Put(t.first_shared_num, 32);
    w.Put(t.first_shared_offset, 32);
    w.Put(t.first_page_entries, 32);
    w.Put(lengths.size(), 32);
    w.Put(0, 16);
    w.Put(glen.least, 32);
    w.Put(static_cast<std::uint64_t>(glen.bits), 16);
    for (std::uint64_t l : lengths) w.Put(l - glen.least, glen.bits);
    w.Align();
    for (std::size_t i = 0; i < lengths.size(); ++i) w.Put(0, 1);
    w.Align();
    if (t.outline_count > 0) {
        out.outline_table_offset = static_cast<std::uint32_t>(w.Data().size());
        w.Put(t.outline_first_num, 32);
        w.Put(t.outline_offset, 32);
        w.Put(t.outline_count, 32);
        w.Put(t.outline_length, 32);
    }
    out.data = std::move(w.Data());
    return out;
}

}  // namespace qvx::SDF
