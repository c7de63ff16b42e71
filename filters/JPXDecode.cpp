#include "filters/JPXDecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <openjpeg.h>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/JPXInfo.h"

namespace qvx::Filters {

namespace {

const char* const kReadError = "JPXDecode: An error occurred reading the image";

void Quiet(const char*, void*) {}

// The encoded bytes as an OpenJPEG stream.
struct MemoryInput {
    const Byte* data;
    std::size_t size;
    std::size_t pos;

    static OPJ_SIZE_T Read(void* buf, OPJ_SIZE_T n, void* user)
    {
        auto* m = static_cast<MemoryInput*>(user);
        if (m->pos >= m->size) return static_cast<OPJ_SIZE_T>(-1);
        std::size_t k = std::min<std::size_t>(n, m->size - m->pos);
        std::memcpy(buf, m->data + m->pos, k);
        m->pos += k;
        return k;
    }
    static OPJ_OFF_T Skip(OPJ_OFF_T n, void* user)
    {
        auto* m = static_cast<MemoryInput*>(user);
        if (n < 0) {
            std::size_t back = std::min<std::size_t>(std::size_t(-n), m->pos);
            m->pos -= back;
            return -OPJ_OFF_T(back);
        }
        std::size_t k = std::min<std::size_t>(std::size_t(n), m->size - m->pos);
        m->pos += k;
        return OPJ_OFF_T(k);
    }
    static OPJ_BOOL Seek(OPJ_OFF_T to, void* user)
    {
        auto* m = static_cast<MemoryInput*>(user);
        if (to < 0 || std::uint64_t(to) > m->size) return OPJ_FALSE;
        m->pos = std::size_t(to);
        return OPJ_TRUE;
    }
};

}  // namespace

struct JPXDecode::Impl {
    ~Impl()
    {
        if (image) opj_image_destroy(image);
        if (stream) opj_stream_destroy(stream);
        if (codec) opj_destroy_codec(codec);
    }

    // Sample of component c at grid position (x, y), unsigned, at the component's depth.
    std::uint32_t Sample(std::size_t c, std::uint32_t x, std::uint32_t y) const
    {
        const opj_image_comp_t& comp = image->comps[c];
        const std::int64_t cx = std::int64_t((image->x0 + x) / comp.dx) - comp.x0;
        const std::int64_t cy = std::int64_t((image->y0 + y) / comp.dy) - comp.y0;
        const std::size_t at = std::size_t(std::clamp<std::int64_t>(cy, 0, comp.h - 1)) * comp.w +
                               std::size_t(std::clamp<std::int64_t>(cx, 0, comp.w - 1));
        std::int64_t v = comp.data[at];
        if (comp.sgnd) v += std::int64_t(1) << (comp.prec - 1);
        return std::uint32_t(std::clamp<std::int64_t>(v, 0, (std::int64_t(1) << comp.prec) - 1));
    }

    opj_codec_t* codec = nullptr;
    opj_stream_t* stream = nullptr;
    opj_image_t* image = nullptr;
    bool decoded = false;
    bool failed = false;
    bool sycc = false;
    int width = 0, height = 0, components = 0, bpc = 8;
    ColourSpace colour = e_unknown;
    Common::Bytes icc;
    Common::Bytes row;
    std::size_t row_pos = 0;
    int next_row = 0;
    std::vector<std::uint32_t> pixel;  // one pixel's samples, at their own depths
};

JPXDecode::JPXDecode(std::unique_ptr<Filter> in, int bits_per_component, bool indices)
    : BufFilter(e_input, std::move(in)), mp_impl(std::make_unique<Impl>()),
      m_requested_bpc(bits_per_component), m_indices(indices)
{
}

JPXDecode::~JPXDecode() = default;

void JPXDecode::Decode()
{
    Impl& d = *mp_impl;
    if (d.decoded) return;
    d.decoded = true;
    d.failed = true;  // until the image is complete

    Common::Bytes data;
    for (;;) {
        std::size_t have = data.size();
        data.resize(have + (1 << 16));
        std::size_t got = ReadInput(data.data() + have, 1 << 16);
        data.resize(have + got);
        if (got == 0) break;
    }
    const JPXInfo::Container kind = JPXInfo::Sniff(data);
    QVX_CHECK(kind != JPXInfo::e_none, kReadError);
    const bool jp2 = kind == JPXInfo::e_jp2;

    d.codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    QVX_CHECK(d.codec, kReadError);
    opj_set_info_handler(d.codec, Quiet, nullptr);
    opj_set_warning_handler(d.codec, Quiet, nullptr);
    opj_set_error_handler(d.codec, Quiet, nullptr);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (m_indices) params.flags |= OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG;
    QVX_CHECK(opj_setup_decoder(d.codec, &params), kReadError);

    MemoryInput input{data.data(), data.size(), 0};
    d.stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    QVX_CHECK(d.stream, kReadError);
    opj_stream_set_user_data(d.stream, &input, nullptr);
    opj_stream_set_user_data_length(d.stream, data.size());
    opj_stream_set_read_function(d.stream, &MemoryInput::Read);
    opj_stream_set_skip_function(d.stream, &MemoryInput::Skip);
    opj_stream_set_seek_function(d.stream, &MemoryInput::Seek);

    QVX_CHECK(opj_read_header(d.stream, d.codec, &d.image) && d.image, kReadError);
    opj_image_t& img = *d.image;
    QVX_CHECK(img.x1 > img.x0 && img.y1 > img.y0 && img.numcomps > 0, kReadError);
    const std::uint64_t pixels = std::uint64_t(img.x1 - img.x0) * (img.y1 - img.y0);
    QVX_CHECK(pixels <= Common::Limits::kMaxImagePixels, kReadError);
    QVX_CHECK(pixels * img.numcomps <= Common::Limits::kMaxImageSamples, kReadError);

    QVX_CHECK(opj_decode(d.codec, d.stream, d.image), kReadError);
    QVX_CHECK(opj_end_decompress(d.codec, d.stream), kReadError);
    opj_stream_destroy(d.stream);
    d.stream = nullptr;
    opj_destroy_codec(d.codec);
    d.codec = nullptr;

    int max_prec = 0;
    for (OPJ_UINT32 c = 0; c < img.numcomps; ++c) {
        const opj_image_comp_t& comp = img.comps[c];
        QVX_CHECK(comp.data && comp.w > 0 && comp.h > 0 && comp.prec >= 1 && comp.prec <= 31, kReadError);
        QVX_CHECK(comp.dx > 0 && comp.dy > 0, kReadError);
        max_prec = std::max<int>(max_prec, int(comp.prec));
    }
    d.width = int(img.x1 - img.x0);
    d.height = int(img.y1 - img.y0);
    d.components = int(img.numcomps);
    const int r = m_requested_bpc;
    d.bpc = (r == 1 || r == 2 || r == 4 || r == 8 || r == 16) ? r : max_prec <= 8 ? 8 : 16;
    d.sycc = img.color_space == OPJ_CLRSPC_SYCC && img.numcomps >= 3;
    switch (img.color_space) {
        case OPJ_CLRSPC_GRAY: d.colour = e_gray; break;
        case OPJ_CLRSPC_SRGB:
        case OPJ_CLRSPC_SYCC: d.colour = e_rgb; break;
        case OPJ_CLRSPC_CMYK: d.colour = e_cmyk; break;
        case OPJ_CLRSPC_EYCC: d.colour = e_other; break;
        default: d.colour = e_unknown; break;
    }
    if (img.icc_profile_buf && img.icc_profile_len)
        d.icc.assign(img.icc_profile_buf, img.icc_profile_buf + img.icc_profile_len);
    d.row.resize((std::size_t(d.width) * d.components * d.bpc + 7) / 8);
    d.row_pos = d.row.size();
    d.pixel.resize(img.numcomps);
    d.failed = false;
}

void JPXDecode::MakeRow()
{
    Impl& d = *mp_impl;
    const opj_image_t& img = *d.image;
    const std::uint32_t y = std::uint32_t(d.next_row++);
    const std::uint64_t out_max = (std::uint64_t(1) << d.bpc) - 1;
    std::fill(d.row.begin(), d.row.end(), 0);
    std::size_t bit = 0;
    for (std::uint32_t x = 0; x < std::uint32_t(d.width); ++x) {
        for (std::size_t c = 0; c < d.pixel.size(); ++c) d.pixel[c] = d.Sample(c, x, y);
        if (d.sycc) {
            // sYCC to sRGB (ITU-R BT.601 full range), at the luma's depth.
            const int prec = int(img.comps[0].prec);
            const double half = double(1u << (prec - 1)), top = double((1u << prec) - 1);
            const double yv = d.pixel[0], cb = d.pixel[1] - half, cr = d.pixel[2] - half;
            const double rgb[3] = {yv + 1.402 * cr, yv - 0.344136 * cb - 0.714136 * cr, yv + 1.772 * cb};
            for (int c = 0; c < 3; ++c) d.pixel[c] = std::uint32_t(std::lround(std::clamp(rgb[c], 0.0, top)));
        }
        for (std::size_t c = 0; c < d.pixel.size(); ++c) {
            const int prec = int(img.comps[d.sycc && c < 3 ? 0 : c].prec);
            std::uint64_t v = d.pixel[c];
            if (prec != d.bpc) {
                const std::uint64_t in_max = (std::uint64_t(1) << prec) - 1;
                v = (v * out_max * 2 + in_max) / (in_max * 2);
            }
            if (d.bpc == 16) {
                d.row[bit / 8] = Byte(v >> 8);
                d.row[bit / 8 + 1] = Byte(v);
            } else if (d.bpc == 8) {
                d.row[bit / 8] = Byte(v);
            } else {
                d.row[bit / 8] |= Byte(v << (8 - d.bpc - bit % 8));
            }
            bit += std::size_t(d.bpc);
        }
    }
    d.row_pos = 0;
}

std::size_t JPXDecode::Fill(Byte* buf, std::size_t capacity)
{
    Decode();
    Impl& d = *mp_impl;
    if (d.failed) return 0;
    std::size_t produced = 0;
    while (produced < capacity) {
        if (d.row_pos == d.row.size()) {
            if (d.next_row == d.height) break;
            MakeRow();
        }
        std::size_t n = std::min(capacity - produced, d.row.size() - d.row_pos);
        std::memcpy(buf + produced, d.row.data() + d.row_pos, n);
        d.row_pos += n;
        produced += n;
    }
    return produced;
}

int JPXDecode::GetWidth() { return Decode(), mp_impl->width; }
int JPXDecode::GetHeight() { return Decode(), mp_impl->height; }
int JPXDecode::GetComponents() { return Decode(), mp_impl->components; }
int JPXDecode::GetBitsPerComponent() { return Decode(), mp_impl->bpc; }
JPXDecode::ColourSpace JPXDecode::GetColourSpace() { return Decode(), mp_impl->colour; }
const Common::Bytes& JPXDecode::GetIccProfile() { return Decode(), mp_impl->icc; }

bool JPXDecode::IsOpacity(int c)
{
    Decode();
    return c >= 0 && c < mp_impl->components && mp_impl->image->comps[c].alpha != 0;
}

}  // namespace qvx::Filters
