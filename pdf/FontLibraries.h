#pragma once
// fontconfig (system fonts) and HarfBuzz's subsetter, loaded when conversion first looks
// for a substitute font or subsets one (see common/SharedLibrary.h). Code includes this
// header instead of theirs and calls the functions by their usual names: each name below
// stands for the function the library gives. One used without a line here fails to link,
// since the build does not link either library.

#include <fontconfig/fontconfig.h>
#include <hb-subset.h>
#include <hb.h>

#include "common/SharedLibrary.h"

// clang-format off
#define QVX_FONTCONFIG_FUNCTIONS(X) \
    X(FcCharSetAddChar) \
    X(FcCharSetCreate) \
    X(FcCharSetDestroy) \
    X(FcCharSetHasChar) \
    X(FcConfigSubstitute) \
    X(FcDefaultSubstitute) \
    X(FcFontMatch) \
    X(FcFontSetDestroy) \
    X(FcFontSort) \
    X(FcPatternAddCharSet) \
    X(FcPatternAddInteger) \
    X(FcPatternAddString) \
    X(FcPatternCreate) \
    X(FcPatternDestroy) \
    X(FcPatternGetCharSet) \
    X(FcPatternGetInteger) \
    X(FcPatternGetString)

#define QVX_HARFBUZZ_FUNCTIONS(X) \
    X(hb_blob_create) \
    X(hb_blob_destroy) \
    X(hb_blob_get_data) \
    X(hb_blob_get_length) \
    X(hb_buffer_add_utf32) \
    X(hb_buffer_create) \
    X(hb_buffer_destroy) \
    X(hb_buffer_get_glyph_infos) \
    X(hb_buffer_get_glyph_positions) \
    X(hb_buffer_guess_segment_properties) \
    X(hb_buffer_set_direction) \
    X(hb_face_builder_add_table) \
    X(hb_face_builder_create) \
    X(hb_face_create) \
    X(hb_face_destroy) \
    X(hb_face_get_glyph_count) \
    X(hb_face_get_table_tags) \
    X(hb_face_get_upem) \
    X(hb_face_reference_blob) \
    X(hb_face_reference_table) \
    X(hb_font_create) \
    X(hb_font_destroy) \
    X(hb_font_get_glyph_h_advance) \
    X(hb_font_get_nominal_glyph) \
    X(hb_map_get) \
    X(hb_set_add) \
    X(hb_shape) \
    X(hb_subset_input_create_or_fail) \
    X(hb_subset_input_destroy) \
    X(hb_subset_input_glyph_set) \
    X(hb_subset_input_set) \
    X(hb_subset_input_set_flags) \
    X(hb_subset_input_unicode_set) \
    X(hb_subset_or_fail) \
    X(hb_subset_plan_create_or_fail) \
    X(hb_subset_plan_destroy) \
    X(hb_subset_plan_execute_or_fail) \
    X(hb_subset_plan_old_to_new_glyph_mapping)
// clang-format on

namespace qvx::PDF {

struct FontconfigApi {
    QVX_FONTCONFIG_FUNCTIONS(QVX_SHARED_LIBRARY_FIELD)
};

struct HarfBuzzApi {
    QVX_HARFBUZZ_FUNCTIONS(QVX_SHARED_LIBRARY_FIELD)
};

// The functions, loaded on the first call; throw Common::Exception when the library is
// missing.
const FontconfigApi& Fontconfig();
const HarfBuzzApi& HarfBuzz();

}  // namespace qvx::PDF

// clang-format off
#define FcCharSetAddChar (::qvx::PDF::Fontconfig().fn_FcCharSetAddChar)
#define FcCharSetCreate (::qvx::PDF::Fontconfig().fn_FcCharSetCreate)
#define FcCharSetDestroy (::qvx::PDF::Fontconfig().fn_FcCharSetDestroy)
#define FcCharSetHasChar (::qvx::PDF::Fontconfig().fn_FcCharSetHasChar)
#define FcConfigSubstitute (::qvx::PDF::Fontconfig().fn_FcConfigSubstitute)
#define FcDefaultSubstitute (::qvx::PDF::Fontconfig().fn_FcDefaultSubstitute)
#define FcFontMatch (::qvx::PDF::Fontconfig().fn_FcFontMatch)
#define FcFontSetDestroy (::qvx::PDF::Fontconfig().fn_FcFontSetDestroy)
#define FcFontSort (::qvx::PDF::Fontconfig().fn_FcFontSort)
#define FcPatternAddCharSet (::qvx::PDF::Fontconfig().fn_FcPatternAddCharSet)
#define FcPatternAddInteger (::qvx::PDF::Fontconfig().fn_FcPatternAddInteger)
#define FcPatternAddString (::qvx::PDF::Fontconfig().fn_FcPatternAddString)
#define FcPatternCreate (::qvx::PDF::Fontconfig().fn_FcPatternCreate)
#define FcPatternDestroy (::qvx::PDF::Fontconfig().fn_FcPatternDestroy)
#define FcPatternGetCharSet (::qvx::PDF::Fontconfig().fn_FcPatternGetCharSet)
#define FcPatternGetInteger (::qvx::PDF::Fontconfig().fn_FcPatternGetInteger)
#define FcPatternGetString (::qvx::PDF::Fontconfig().fn_FcPatternGetString)

#define hb_blob_create (::qvx::PDF::HarfBuzz().fn_hb_blob_create)
#define hb_blob_destroy (::qvx::PDF::HarfBuzz().fn_hb_blob_destroy)
#define hb_blob_get_data (::qvx::PDF::HarfBuzz().fn_hb_blob_get_data)
#define hb_blob_get_length (::qvx::PDF::HarfBuzz().fn_hb_blob_get_length)
#define hb_buffer_add_utf32 (::qvx::PDF::HarfBuzz().fn_hb_buffer_add_utf32)
#define hb_buffer_create (::qvx::PDF::HarfBuzz().fn_hb_buffer_create)
#define hb_buffer_destroy (::qvx::PDF::HarfBuzz().fn_hb_buffer_destroy)
#define hb_buffer_get_glyph_infos (::qvx::PDF::HarfBuzz().fn_hb_buffer_get_glyph_infos)
#define hb_buffer_get_glyph_positions (::qvx::PDF::HarfBuzz().fn_hb_buffer_get_glyph_positions)
#define hb_buffer_guess_segment_properties (::qvx::PDF::HarfBuzz().fn_hb_buffer_guess_segment_properties)
#define hb_buffer_set_direction (::qvx::PDF::HarfBuzz().fn_hb_buffer_set_direction)
#define hb_face_builder_add_table (::qvx::PDF::HarfBuzz().fn_hb_face_builder_add_table)
#define hb_face_builder_create (::qvx::PDF::HarfBuzz().fn_hb_face_builder_create)
#define hb_face_create (::qvx::PDF::HarfBuzz().fn_hb_face_create)
#define hb_face_destroy (::qvx::PDF::HarfBuzz().fn_hb_face_destroy)
#define hb_face_get_glyph_count (::qvx::PDF::HarfBuzz().fn_hb_face_get_glyph_count)
#define hb_face_get_table_tags (::qvx::PDF::HarfBuzz().fn_hb_face_get_table_tags)
#define hb_face_get_upem (::qvx::PDF::HarfBuzz().fn_hb_face_get_upem)
#define hb_face_reference_blob (::qvx::PDF::HarfBuzz().fn_hb_face_reference_blob)
#define hb_face_reference_table (::qvx::PDF::HarfBuzz().fn_hb_face_reference_table)
#define hb_font_create (::qvx::PDF::HarfBuzz().fn_hb_font_create)
#define hb_font_destroy (::qvx::PDF::HarfBuzz().fn_hb_font_destroy)
#define hb_font_get_glyph_h_advance (::qvx::PDF::HarfBuzz().fn_hb_font_get_glyph_h_advance)
#define hb_font_get_nominal_glyph (::qvx::PDF::HarfBuzz().fn_hb_font_get_nominal_glyph)
#define hb_map_get (::qvx::PDF::HarfBuzz().fn_hb_map_get)
#define hb_set_add (::qvx::PDF::HarfBuzz().fn_hb_set_add)
#define hb_shape (::qvx::PDF::HarfBuzz().fn_hb_shape)
#define hb_subset_input_create_or_fail (::qvx::PDF::HarfBuzz().fn_hb_subset_input_create_or_fail)
#define hb_subset_input_destroy (::qvx::PDF::HarfBuzz().fn_hb_subset_input_destroy)
#define hb_subset_input_glyph_set (::qvx::PDF::HarfBuzz().fn_hb_subset_input_glyph_set)
#define hb_subset_input_set (::qvx::PDF::HarfBuzz().fn_hb_subset_input_set)
#define hb_subset_input_set_flags (::qvx::PDF::HarfBuzz().fn_hb_subset_input_set_flags)
#define hb_subset_input_unicode_set (::qvx::PDF::HarfBuzz().fn_hb_subset_input_unicode_set)
#define hb_subset_or_fail (::qvx::PDF::HarfBuzz().fn_hb_subset_or_fail)
#define hb_subset_plan_create_or_fail (::qvx::PDF::HarfBuzz().fn_hb_subset_plan_create_or_fail)
#define hb_subset_plan_destroy (::qvx::PDF::HarfBuzz().fn_hb_subset_plan_destroy)
#define hb_subset_plan_execute_or_fail (::qvx::PDF::HarfBuzz().fn_hb_subset_plan_execute_or_fail)
#define hb_subset_plan_old_to_new_glyph_mapping (::qvx::PDF::HarfBuzz().fn_hb_subset_plan_old_to_new_glyph_mapping)
// clang-format on
