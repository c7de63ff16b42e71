#pragma once
// The interactive form's field tree (AcroForm Fields and their Kids), with the inheritable
// entries (FT, Ff, V, DV, DA, Q) resolved through the ancestors and the full names.
//
//     for (const Field& f : Field::ReadAll(doc)) {
//         if (f.GetType() == Field::e_button && f.IsRadio()) ...
//         for (SDF::Obj* w : f.GetWidgets()) ...
//     }

#include <string>
#include <vector>

namespace qvx::SDF {
class Obj;
class SDFDoc;
}  // namespace qvx::SDF

namespace qvx::PDF {

class Field {
public:
    enum Type { e_button, e_text, e_choice, e_signature, e_unknown };
    // Ff bits (value 1 << index).
    enum FlagBit { e_read_only = 0, e_required = 1, e_no_export = 2, e_multiline = 12, e_password = 13,
                   e_no_toggle_to_off = 14, e_radio = 15, e_push_button = 16, e_combo = 17, e_file_select = 20,
                   e_comb = 24 };

    // Every terminal field of the document's AcroForm (fields without field kids), in tree
    // order. Loops, bad kids and excessive depth are skipped.
    static std::vector<Field> ReadAll(SDF::SDFDoc& doc);

    SDF::Obj* GetSDFObj() const { return mp_dict; }
    // The fully qualified name (T of the ancestors joined with periods).
    const std::string& GetName() const { return m_name; }
    Type GetType() const;
    int GetFlags() const { return m_flags; }
    bool IsPushButton() const { return GetType() == e_button && (m_flags >> e_push_button) & 1; }
    bool IsRadio() const { return GetType() == e_button && !IsPushButton() && (m_flags >> e_radio) & 1; }
    bool IsCheckBox() const { return GetType() == e_button && !IsPushButton() && !IsRadio(); }
    // The inherited value entries (null when absent everywhere).
    SDF::Obj* GetValue() const { return mp_v; }
    SDF::Obj* GetDefaultAppearance() const { return mp_da; }
    // The widget annotations: the field itself when merged, else its Kids.
    const std::vector<SDF::Obj*>& GetWidgets() const { return m_widgets; }
    // A and AA of the field (null when absent).
    SDF::Obj* GetAction() const;
    SDF::Obj* GetAdditionalActions() const;

private:
    SDF::Obj* mp_dict = nullptr;
    std::string m_name;
    std::string m_ft;
    int m_flags = 0;
    SDF::Obj* mp_v = nullptr;
    SDF::Obj* mp_da = nullptr;
    std::vector<SDF::Obj*> m_widgets;
};

}  // namespace qvx::PDF
