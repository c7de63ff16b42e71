#pragma once
// cairo, loaded when the first page is drawn (see common/SharedLibrary.h). The renderer
// includes this header instead of cairo.h and calls cairo by its usual names: each name
// below stands for the function the library gives. A cairo function used without a line
// here fails to link, since the build does not link cairo.

#include <cairo-ft.h>
#include <cairo.h>

#include "common/SharedLibrary.h"

// clang-format off
#define QVX_CAIRO_FUNCTIONS(X) \
    X(cairo_append_path) \
    X(cairo_clip) \
    X(cairo_clip_extents) \
    X(cairo_close_path) \
    X(cairo_copy_path) \
    X(cairo_create) \
    X(cairo_curve_to) \
    X(cairo_destroy) \
    X(cairo_device_to_user) \
    X(cairo_fill) \
    X(cairo_fill_preserve) \
    X(cairo_font_face_destroy) \
    X(cairo_font_face_set_user_data) \
    X(cairo_font_options_create) \
    X(cairo_font_options_destroy) \
    X(cairo_font_options_set_hint_metrics) \
    X(cairo_font_options_set_hint_style) \
    X(cairo_ft_font_face_create_for_ft_face) \
    X(cairo_get_group_target) \
    X(cairo_get_matrix) \
    X(cairo_get_target) \
    X(cairo_glyph_path) \
    X(cairo_has_current_point) \
    X(cairo_identity_matrix) \
    X(cairo_format_stride_for_width) \
    X(cairo_image_surface_create) \
    X(cairo_image_surface_create_for_data) \
    X(cairo_image_surface_get_data) \
    X(cairo_image_surface_get_format) \
    X(cairo_image_surface_get_height) \
    X(cairo_image_surface_get_stride) \
    X(cairo_image_surface_get_width) \
    X(cairo_line_to) \
    X(cairo_mask) \
    X(cairo_mask_surface) \
    X(cairo_matrix_init) \
    X(cairo_matrix_init_scale) \
    X(cairo_matrix_init_translate) \
    X(cairo_matrix_invert) \
    X(cairo_matrix_multiply) \
    X(cairo_mesh_pattern_begin_patch) \
    X(cairo_mesh_pattern_curve_to) \
    X(cairo_mesh_pattern_end_patch) \
    X(cairo_mesh_pattern_line_to) \
    X(cairo_mesh_pattern_move_to) \
    X(cairo_mesh_pattern_set_control_point) \
    X(cairo_mesh_pattern_set_corner_color_rgba) \
    X(cairo_move_to) \
    X(cairo_new_path) \
    X(cairo_paint) \
    X(cairo_paint_with_alpha) \
    X(cairo_path_extents) \
    X(cairo_path_destroy) \
    X(cairo_pattern_add_color_stop_rgba) \
    X(cairo_pattern_create_for_surface) \
    X(cairo_pattern_create_linear) \
    X(cairo_pattern_create_mesh) \
    X(cairo_pattern_create_radial) \
    X(cairo_pattern_destroy) \
    X(cairo_pattern_set_extend) \
    X(cairo_pattern_set_filter) \
    X(cairo_pattern_set_matrix) \
    X(cairo_pop_group) \
    X(cairo_push_group) \
    X(cairo_push_group_with_content) \
    X(cairo_rectangle) \
    X(cairo_reset_clip) \
    X(cairo_restore) \
    X(cairo_save) \
    X(cairo_set_dash) \
    X(cairo_set_fill_rule) \
    X(cairo_set_font_face) \
    X(cairo_set_font_matrix) \
    X(cairo_set_font_options) \
    X(cairo_set_line_cap) \
    X(cairo_set_line_join) \
    X(cairo_set_line_width) \
    X(cairo_set_matrix) \
    X(cairo_set_miter_limit) \
    X(cairo_set_operator) \
    X(cairo_set_source) \
    X(cairo_set_source_rgb) \
    X(cairo_set_source_rgba) \
    X(cairo_set_source_surface) \
    X(cairo_stroke) \
    X(cairo_stroke_preserve) \
    X(cairo_surface_destroy) \
    X(cairo_surface_flush) \
    X(cairo_surface_mark_dirty) \
    X(cairo_surface_reference) \
    X(cairo_surface_status) \
    X(cairo_surface_write_to_png) \
    X(cairo_user_to_device)
// clang-format on

namespace qvx::Render {

struct CairoApi {
    QVX_CAIRO_FUNCTIONS(QVX_SHARED_LIBRARY_FIELD)
};

// The functions, loaded on the first call; throws Common::Exception when cairo is missing.
const CairoApi& Cairo();

}  // namespace qvx::Render

// clang-format off
#define cairo_append_path (::qvx::Render::Cairo().fn_cairo_append_path)
#define cairo_clip (::qvx::Render::Cairo().fn_cairo_clip)
#define cairo_clip_extents (::qvx::Render::Cairo().fn_cairo_clip_extents)
#define cairo_close_path (::qvx::Render::Cairo().fn_cairo_close_path)
#define cairo_copy_path (::qvx::Render::Cairo().fn_cairo_copy_path)
#define cairo_create (::qvx::Render::Cairo().fn_cairo_create)
#define cairo_curve_to (::qvx::Render::Cairo().fn_cairo_curve_to)
#define cairo_destroy (::qvx::Render::Cairo().fn_cairo_destroy)
#define cairo_device_to_user (::qvx::Render::Cairo().fn_cairo_device_to_user)
#define cairo_fill (::qvx::Render::Cairo().fn_cairo_fill)
#define cairo_fill_preserve (::qvx::Render::Cairo().fn_cairo_fill_preserve)
#define cairo_font_face_destroy (::qvx::Render::Cairo().fn_cairo_font_face_destroy)
#define cairo_font_face_set_user_data (::qvx::Render::Cairo().fn_cairo_font_face_set_user_data)
#define cairo_font_options_create (::qvx::Render::Cairo().fn_cairo_font_options_create)
#define cairo_font_options_destroy (::qvx::Render::Cairo().fn_cairo_font_options_destroy)
#define cairo_font_options_set_hint_metrics (::qvx::Render::Cairo().fn_cairo_font_options_set_hint_metrics)
#define cairo_font_options_set_hint_style (::qvx::Render::Cairo().fn_cairo_font_options_set_hint_style)
#define cairo_ft_font_face_create_for_ft_face (::qvx::Render::Cairo().fn_cairo_ft_font_face_create_for_ft_face)
#define cairo_get_group_target (::qvx::Render::Cairo().fn_cairo_get_group_target)
#define cairo_get_matrix (::qvx::Render::Cairo().fn_cairo_get_matrix)
#define cairo_get_target (::qvx::Render::Cairo().fn_cairo_get_target)
#define cairo_glyph_path (::qvx::Render::Cairo().fn_cairo_glyph_path)
#define cairo_has_current_point (::qvx::Render::Cairo().fn_cairo_has_current_point)
#define cairo_identity_matrix (::qvx::Render::Cairo().fn_cairo_identity_matrix)
#define cairo_format_stride_for_width (::qvx::Render::Cairo().fn_cairo_format_stride_for_width)
#define cairo_image_surface_create (::qvx::Render::Cairo().fn_cairo_image_surface_create)
#define cairo_image_surface_create_for_data (::qvx::Render::Cairo().fn_cairo_image_surface_create_for_data)
#define cairo_image_surface_get_data (::qvx::Render::Cairo().fn_cairo_image_surface_get_data)
#define cairo_image_surface_get_height (::qvx::Render::Cairo().fn_cairo_image_surface_get_height)
#define cairo_image_surface_get_format (::qvx::Render::Cairo().fn_cairo_image_surface_get_format)
#define cairo_image_surface_get_stride (::qvx::Render::Cairo().fn_cairo_image_surface_get_stride)
#define cairo_image_surface_get_width (::qvx::Render::Cairo().fn_cairo_image_surface_get_width)
#define cairo_line_to (::qvx::Render::Cairo().fn_cairo_line_to)
#define cairo_mask (::qvx::Render::Cairo().fn_cairo_mask)
#define cairo_mask_surface (::qvx::Render::Cairo().fn_cairo_mask_surface)
#define cairo_matrix_init (::qvx::Render::Cairo().fn_cairo_matrix_init)
#define cairo_matrix_init_scale (::qvx::Render::Cairo().fn_cairo_matrix_init_scale)
#define cairo_matrix_init_translate (::qvx::Render::Cairo().fn_cairo_matrix_init_translate)
#define cairo_matrix_invert (::qvx::Render::Cairo().fn_cairo_matrix_invert)
#define cairo_matrix_multiply (::qvx::Render::Cairo().fn_cairo_matrix_multiply)
#define cairo_mesh_pattern_begin_patch (::qvx::Render::Cairo().fn_cairo_mesh_pattern_begin_patch)
#define cairo_mesh_pattern_curve_to (::qvx::Render::Cairo().fn_cairo_mesh_pattern_curve_to)
#define cairo_mesh_pattern_end_patch (::qvx::Render::Cairo().fn_cairo_mesh_pattern_end_patch)
#define cairo_mesh_pattern_line_to (::qvx::Render::Cairo().fn_cairo_mesh_pattern_line_to)
#define cairo_mesh_pattern_move_to (::qvx::Render::Cairo().fn_cairo_mesh_pattern_move_to)
#define cairo_mesh_pattern_set_control_point (::qvx::Render::Cairo().fn_cairo_mesh_pattern_set_control_point)
#define cairo_mesh_pattern_set_corner_color_rgba (::qvx::Render::Cairo().fn_cairo_mesh_pattern_set_corner_color_rgba)
#define cairo_move_to (::qvx::Render::Cairo().fn_cairo_move_to)
#define cairo_new_path (::qvx::Render::Cairo().fn_cairo_new_path)
#define cairo_paint (::qvx::Render::Cairo().fn_cairo_paint)
#define cairo_paint_with_alpha (::qvx::Render::Cairo().fn_cairo_paint_with_alpha)
#define cairo_path_extents (::qvx::Render::Cairo().fn_cairo_path_extents)
#define cairo_path_destroy (::qvx::Render::Cairo().fn_cairo_path_destroy)
#define cairo_pattern_add_color_stop_rgba (::qvx::Render::Cairo().fn_cairo_pattern_add_color_stop_rgba)
#define cairo_pattern_create_for_surface (::qvx::Render::Cairo().fn_cairo_pattern_create_for_surface)
#define cairo_pattern_create_linear (::qvx::Render::Cairo().fn_cairo_pattern_create_linear)
#define cairo_pattern_create_mesh (::qvx::Render::Cairo().fn_cairo_pattern_create_mesh)
#define cairo_pattern_create_radial (::qvx::Render::Cairo().fn_cairo_pattern_create_radial)
#define cairo_pattern_destroy (::qvx::Render::Cairo().fn_cairo_pattern_destroy)
#define cairo_pattern_set_extend (::qvx::Render::Cairo().fn_cairo_pattern_set_extend)
#define cairo_pattern_set_filter (::qvx::Render::Cairo().fn_cairo_pattern_set_filter)
#define cairo_pattern_set_matrix (::qvx::Render::Cairo().fn_cairo_pattern_set_matrix)
#define cairo_pop_group (::qvx::Render::Cairo().fn_cairo_pop_group)
#define cairo_push_group (::qvx::Render::Cairo().fn_cairo_push_group)
#define cairo_push_group_with_content (::qvx::Render::Cairo().fn_cairo_push_group_with_content)
#define cairo_rectangle (::qvx::Render::Cairo().fn_cairo_rectangle)
#define cairo_reset_clip (::qvx::Render::Cairo().fn_cairo_reset_clip)
#define cairo_restore (::qvx::Render::Cairo().fn_cairo_restore)
#define cairo_save (::qvx::Render::Cairo().fn_cairo_save)
#define cairo_set_dash (::qvx::Render::Cairo().fn_cairo_set_dash)
#define cairo_set_fill_rule (::qvx::Render::Cairo().fn_cairo_set_fill_rule)
#define cairo_set_font_face (::qvx::Render::Cairo().fn_cairo_set_font_face)
#define cairo_set_font_matrix (::qvx::Render::Cairo().fn_cairo_set_font_matrix)
#define cairo_set_font_options (::qvx::Render::Cairo().fn_cairo_set_font_options)
#define cairo_set_line_cap (::qvx::Render::Cairo().fn_cairo_set_line_cap)
#define cairo_set_line_join (::qvx::Render::Cairo().fn_cairo_set_line_join)
#define cairo_set_line_width (::qvx::Render::Cairo().fn_cairo_set_line_width)
#define cairo_set_matrix (::qvx::Render::Cairo().fn_cairo_set_matrix)
#define cairo_set_miter_limit (::qvx::Render::Cairo().fn_cairo_set_miter_limit)
#define cairo_set_operator (::qvx::Render::Cairo().fn_cairo_set_operator)
#define cairo_set_source (::qvx::Render::Cairo().fn_cairo_set_source)
#define cairo_set_source_rgb (::qvx::Render::Cairo().fn_cairo_set_source_rgb)
#define cairo_set_source_rgba (::qvx::Render::Cairo().fn_cairo_set_source_rgba)
#define cairo_set_source_surface (::qvx::Render::Cairo().fn_cairo_set_source_surface)
#define cairo_stroke (::qvx::Render::Cairo().fn_cairo_stroke)
#define cairo_stroke_preserve (::qvx::Render::Cairo().fn_cairo_stroke_preserve)
#define cairo_surface_destroy (::qvx::Render::Cairo().fn_cairo_surface_destroy)
#define cairo_surface_flush (::qvx::Render::Cairo().fn_cairo_surface_flush)
#define cairo_surface_mark_dirty (::qvx::Render::Cairo().fn_cairo_surface_mark_dirty)
#define cairo_surface_reference (::qvx::Render::Cairo().fn_cairo_surface_reference)
#define cairo_surface_status (::qvx::Render::Cairo().fn_cairo_surface_status)
#define cairo_surface_write_to_png (::qvx::Render::Cairo().fn_cairo_surface_write_to_png)
#define cairo_user_to_device (::qvx::Render::Cairo().fn_cairo_user_to_device)
// clang-format on
