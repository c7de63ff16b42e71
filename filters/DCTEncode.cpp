#include "filters/DCTEncode.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/JpegGuard.h"

namespace qvx::Filters {

struct DCTEncode::Impl {
    // The library hands the callbacks only cinfo->dest; this leads back to the Impl.
    struct Destination {
        jpeg_destination_mgr pub;
        Impl* impl;
    };

    explicit Impl(DCTEncode& owner) : m_owner(owner) { m_dest.impl = this; }

    static Impl& Of(j_compress_ptr cinfo) { return *reinterpret_cast<Destination*>(cinfo->dest)->impl; }

    void Reset()
    {
        m_dest.pub.next_output_byte = m_out.data();
        m_dest.pub.free_in_buffer = m_out.size();
    }

    static void InitDestination(j_compress_ptr cinfo) { Of(cinfo).Reset(); }

    static boolean EmptyOutput(j_compress_ptr cinfo)
    {
        Impl& e = Of(cinfo);
        e.m_guard.Call([&] { e.m_owner.WriteOutput(e.m_out.data(), e.m_out.size()); });
        e.Reset();
        return TRUE;
    }

    static void TermDestination(j_compress_ptr cinfo)
    {
        Impl& e = Of(cinfo);
        const std::size_t used = e.m_out.size() - e.m_dest.pub.free_in_buffer;
        e.m_guard.Call([&] { e.m_owner.WriteOutput(e.m_out.data(), used); });
        e.Reset();
    }

    // Runs one library call; a failure becomes the engine's exception.
    template <class F>
    void Guarded(const char* what, F&& f)
    {
        if (!m_guard.Run(f)) {
            m_failed = true;
            m_guard.RethrowParked();
            QVX_THROW(what, "DCTEncode: " + m_guard.Message());
        }
    }

    Destination m_dest{};
    DCTEncode& m_owner;
    jpeg_compress_struct m_cinfo{};
    JpegGuard m_guard;
    Common::Bytes m_out = Common::Bytes(1 << 14);
    Common::Bytes m_row;
    std::size_t m_row_fill = 0;
    bool m_created = false;
    bool m_started = false;
    bool m_failed = false;
};

DCTEncode::DCTEncode(std::unique_ptr<Filter> out, const DCTEncodeParams& p)
    : BufFilter(e_output, std::move(out)), mp_impl(std::make_unique<Impl>(*this))
{
    QVX_CHECK(p.components == 1 || p.components == 3 || p.components == 4,
              "DCTEncode: the number of components must be 1, 3 or 4");
    QVX_CHECK(p.width > 0 && p.height > 0 && p.width <= JPEG_MAX_DIMENSION && p.height <= JPEG_MAX_DIMENSION,
              "DCTEncode: bad image size");
    QVX_CHECK(std::uint64_t(p.width) * std::uint64_t(p.height) <= Common::Limits::kMaxImagePixels,
              "DCTEncode: the image is too large");
    Impl& e = *mp_impl;
    e.m_guard.Install(reinterpret_cast<j_common_ptr>(&e.m_cinfo));
    e.Guarded("jpeg_create_compress", [&] { jpeg_create_compress(&e.m_cinfo); });
    e.m_created = true;
    e.m_cinfo.client_data = &e.m_guard;
    jpeg_destination_mgr& dest = e.m_dest.pub;
    dest.init_destination = &Impl::InitDestination;
    dest.empty_output_buffer = &Impl::EmptyOutput;
    dest.term_destination = &Impl::TermDestination;
    e.m_cinfo.dest = &dest;

    jpeg_compress_struct& ci = e.m_cinfo;
    ci.image_width = static_cast<JDIMENSION>(p.width);
    ci.image_height = static_cast<JDIMENSION>(p.height);
    ci.input_components = p.components;
    ci.in_color_space = p.components == 1 ? JCS_GRAYSCALE : p.components == 3 ? JCS_RGB : JCS_CMYK;
    e.Guarded("jpeg_set_defaults", [&] {
        jpeg_set_defaults(&ci);
        if (p.quality >= 0) jpeg_set_quality(&ci, std::min(p.quality, 100), TRUE);
    });
    e.m_row.resize(std::size_t(p.width) * std::size_t(p.components));
}

DCTEncode::~DCTEncode()
{
    if (mp_impl->m_created) jpeg_destroy_compress(&mp_impl->m_cinfo);
}

void DCTEncode::WriteRows(const Byte* data, std::size_t size)
{
    Impl& e = *mp_impl;
    jpeg_compress_struct& ci = e.m_cinfo;
    if (!e.m_started) {
        e.Guarded("jpeg_start_compress", [&] { jpeg_start_compress(&ci, TRUE); });
        e.m_started = true;
    }
    while (size > 0) {
        QVX_CHECK(ci.next_scanline < ci.image_height, "DCTEncode: more sample data than the image holds");
        std::size_t n = std::min(size, e.m_row.size() - e.m_row_fill);
        std::memcpy(e.m_row.data() + e.m_row_fill, data, n);
        e.m_row_fill += n;
        data += n;
        size -= n;
        if (e.m_row_fill == e.m_row.size()) {
            JSAMPROW row = e.m_row.data();
            e.Guarded("jpeg_write_scanlines", [&] { jpeg_write_scanlines(&ci, &row, 1); });
            e.m_row_fill = 0;
        }
    }
}

void DCTEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    Impl& e = *mp_impl;
    QVX_CHECK(!e.m_failed, "DCTEncode: the encoder has failed");
    WriteRows(data, size);
    if (!final) return;
    QVX_CHECK(e.m_cinfo.next_scanline == e.m_cinfo.image_height && e.m_row_fill == 0,
              "DCTEncode: the sample data ends before the last row");
    e.Guarded("jpeg_finish_compress", [&] { jpeg_finish_compress(&e.m_cinfo); });
}

}  // namespace qvx::Filters
