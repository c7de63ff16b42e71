#include "filters/DCTDecode.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/JpegGuard.h"

namespace qvx::Filters {

namespace Limits = Common::Limits;

struct DCTDecode::Impl {
    // The library hands the callbacks only cinfo->src; this leads back to the Impl.
    struct Source {
        jpeg_source_mgr pub;
        Impl* impl;
    };

    explicit Impl(DCTDecode& owner) : m_owner(owner) { m_src.impl = this; }

    static Impl& Of(j_decompress_ptr cinfo) { return *reinterpret_cast<Source*>(cinfo->src)->impl; }

    static void InitSource(j_decompress_ptr) {}
    static void TermSource(j_decompress_ptr) {}

    // Never suspends: at the end of the input it supplies an EOI marker, as libjpeg's own
    // file source does, so a truncated scan decodes as far as it goes.
    static boolean FillInput(j_decompress_ptr cinfo)
    {
        Impl& d = Of(cinfo);
        std::size_t got = 0;
        d.m_guard.Call([&] { got = d.m_owner.ReadInput(d.m_in.data(), d.m_in.size()); });
        if (got == 0) {
            WARNMS(cinfo, JWRN_JPEG_EOF);
            d.m_in[0] = 0xFF;
            d.m_in[1] = JPEG_EOI;
            got = 2;
        }
        d.m_src.pub.next_input_byte = d.m_in.data();
        d.m_src.pub.bytes_in_buffer = got;
        return TRUE;
    }

    static void SkipInput(j_decompress_ptr cinfo, long count)
    {
        jpeg_source_mgr& src = Of(cinfo).m_src.pub;
        if (count <= 0) return;
        auto n = static_cast<std::size_t>(count);
        while (n > src.bytes_in_buffer) {
            n -= src.bytes_in_buffer;
            FillInput(cinfo);
        }
        src.next_input_byte += n;
        src.bytes_in_buffer -= n;
    }

    // Bounds the work of progressive images whose scans never end.
    static void Progress(j_common_ptr cinfo)
    {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > Limits::kMaxJpegScans) JpegGuard::Of(cinfo).Fail("DCTDecode: too many scans");
    }

    Source m_src{};
    DCTDecode& m_owner;
    jpeg_decompress_struct m_cinfo{};
    jpeg_progress_mgr m_progress{};
    JpegGuard m_guard;
    Common::Bytes m_in = Common::Bytes(1 << 14);
    Common::Bytes m_row;
    std::size_t m_row_pos = 0;
    bool m_created = false;
    bool m_initialized = false;
    bool m_done = false;
};

DCTDecode::DCTDecode(std::unique_ptr<Filter> in, int color_transform)
    : BufFilter(e_input, std::move(in)), mp_impl(std::make_unique<Impl>(*this)),
      m_color_transform(color_transform)
{
    Impl& d = *mp_impl;
    d.m_guard.Install(reinterpret_cast<j_common_ptr>(&d.m_cinfo));
    if (!d.m_guard.Run([&] { jpeg_create_decompress(&d.m_cinfo); }))
        QVX_THROW_IN("jpeg_create_decompress", "DCTDecode", d.m_guard.Message());
    d.m_created = true;
    d.m_cinfo.client_data = &d.m_guard;
    jpeg_source_mgr& src = d.m_src.pub;
    src.init_source = &Impl::InitSource;
    src.fill_input_buffer = &Impl::FillInput;
    src.skip_input_data = &Impl::SkipInput;
    src.resync_to_restart = &jpeg_resync_to_restart;
    src.term_source = &Impl::TermSource;
    d.m_cinfo.src = &src;
    d.m_progress.progress_monitor = &Impl::Progress;
    d.m_cinfo.progress = &d.m_progress;
}

DCTDecode::~DCTDecode()
{
    if (mp_impl->m_created) jpeg_destroy_decompress(&mp_impl->m_cinfo);
}

void DCTDecode::Initialize()
{
    Impl& d = *mp_impl;
    if (d.m_initialized) return;
    d.m_initialized = true;
    d.m_done = true;  // stays set when the header cannot be used
    jpeg_decompress_struct& ci = d.m_cinfo;
    if (!d.m_guard.Run([&] { jpeg_read_header(&ci, TRUE); })) {
        d.m_guard.RethrowParked();
        QVX_THROW_IN("jpeg_read_header", "Initialize", d.m_guard.Message());
    }
    const int nc = ci.num_components;
    if (nc != 1 && nc != 3 && nc != 4)
        QVX_THROW_IN("nc == 1 || nc == 3 || nc == 4", "Initialize",
                     "DCTDecode: unsupported number of components " + std::to_string(nc));
    const std::uint64_t pixels = std::uint64_t(ci.image_width) * ci.image_height;
    if (pixels > Limits::kMaxImagePixels)
        QVX_THROW_IN("pixels <= kMaxImagePixels", "Initialize", "DCTDecode: the image is too large");

    bool transform = nc == 3;
    if (m_color_transform >= 0)
        transform = m_color_transform != 0;
    else if (ci.saw_Adobe_marker)
        transform = ci.Adobe_transform != 0;
    if (nc == 1) {
        ci.jpeg_color_space = JCS_GRAYSCALE;
        ci.out_color_space = JCS_GRAYSCALE;
    } else if (nc == 3) {
        ci.jpeg_color_space = transform ? JCS_YCbCr : JCS_RGB;
        ci.out_color_space = JCS_RGB;
    } else {
        ci.jpeg_color_space = transform ? JCS_YCCK : JCS_CMYK;
        ci.out_color_space = JCS_CMYK;
    }
    if (!d.m_guard.Run([&] { jpeg_start_decompress(&ci); })) {
        d.m_guard.RethrowParked();
        QVX_THROW_IN("jpeg_start_decompress", "Initialize", d.m_guard.Message());
    }
    d.m_row.resize(std::size_t(ci.output_width) * ci.output_components);
    d.m_row_pos = d.m_row.size();
    d.m_done = false;
}

std::size_t DCTDecode::Process(Byte* buf, std::size_t capacity)
{
    Impl& d = *mp_impl;
    jpeg_decompress_struct& ci = d.m_cinfo;
    std::size_t produced = 0;
    while (produced < capacity && !d.m_done) {
        if (d.m_row_pos < d.m_row.size()) {
            std::size_t n = std::min(capacity - produced, d.m_row.size() - d.m_row_pos);
            std::memcpy(buf + produced, d.m_row.data() + d.m_row_pos, n);
            d.m_row_pos += n;
            produced += n;
            continue;
        }
        if (ci.output_scanline >= ci.output_height) {
            d.m_done = true;
            break;
        }
        JSAMPROW row = d.m_row.data();
        JDIMENSION got = 0;
        const JDIMENSION before = ci.output_scanline;
        if (!d.m_guard.Run([&] { got = jpeg_read_scanlines(&ci, &row, 1); })) {
            d.m_done = true;
            d.m_guard.RethrowParked();
            if (before == 0) QVX_THROW_IN("jpeg_read_scanlines", "Process", d.m_guard.Message());
            break;
        }
        if (got == 0) {
            d.m_done = true;
            break;
        }
        d.m_row_pos = 0;
    }
    return produced;
}

std::size_t DCTDecode::Fill(Byte* buf, std::size_t capacity)
{
    Initialize();
    return Process(buf, capacity);
}

int DCTDecode::GetWidth()
{
    Initialize();
    return static_cast<int>(mp_impl->m_cinfo.output_width);
}

int DCTDecode::GetHeight()
{
    Initialize();
    return static_cast<int>(mp_impl->m_cinfo.output_height);
}

int DCTDecode::GetComponents()
{
    Initialize();
    return mp_impl->m_cinfo.output_components;
}

}  // namespace qvx::Filters
