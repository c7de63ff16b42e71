#include "pdf/compliance/XmpPropertyChecks.h"

#include <vector>

#include "pdf/compliance/XmpNamespaces.h"
#include "pdf/compliance/XmpPropertyTables.h"
#include "pdf/compliance/XmpValueTypes.h"

namespace qvx::PDF {

namespace {

constexpr std::string_view kXmpBasicNames[] = {"Advisory", "BaseURL",    "CreateDate", "CreatorTool",
                                               "Identifier", "Label",    "MetadataDate", "ModifyDate",
                                               "Nickname", "Rating",     "Thumbnail"};

std::string_view AfterFirstColon(std::string_view path)
{
    std::size_t colon = path.find(':');
    return colon == std::string_view::npos ? path : path.substr(colon + 1);
}

}  // namespace

void CheckXmpBasicNames(const XmpCheckContext& ctx, XmpMeta& meta)
{
    std::vector<std::string> bad;
    {
        XmpIterator it(meta, XmpNs::kXMP, "", XmpIterator::e_leaves);
        XmpNode node;
        while (it.Next(node)) {
            if (node.path.empty()) continue;   // the namespace itself
            std::string_view name = AfterFirstColon(node.path);
            bool known = false;
            for (std::string_view allowed : kXmpBasicNames) known = known || name.starts_with(allowed);
            if (known) continue;
            ctx.Report(SDF::e_PDFA724);
            bad.push_back(node.path);
        }
    }
    if (!ctx.Convert()) return;
    for (const std::string& path : bad) meta.DeleteProperty(XmpNs::kXMP, path);
}

void CheckXmpIdentifier(const XmpCheckContext& ctx, XmpMeta& meta)
{
    std::optional<XmpProperty> id = meta.GetProperty(XmpNs::kXMP, "Identifier");
    if (!id || XmpOpt::IsArray(id->options)) return;
    ctx.Report(SDF::e_PDFA739);
    if (ctx.Convert()) meta.DeleteProperty(XmpNs::kXMP, "Identifier");
}

XmpPredefinedResult CheckPredefinedProperties(const XmpCheckContext& ctx, const XmpMeta& meta,
                                              std::span<const XmpRawProperty> raw)
{
    XmpPredefinedResult result;
    std::span<const XmpPropertyRow> table = PredefinedXmpProperties(ctx.Part());
    XmpValueTypeChecker types(meta, ctx.Part());
    {
        XmpIterator it(meta, "", "", XmpIterator::e_all);
        XmpNode node;
        while (it.Next(node)) {
            std::string_view name = AfterFirstColon(node.path);
            name = name.substr(0, name.find_first_of("/["));
            bool valid = false;
            for (const XmpPropertyRow& row : table) {
                if (row.ns != node.ns) continue;
                if (name.empty()) valid = true;
                else if (name == row.name) valid = types.Check(node, row.type);
                else continue;
                break;
            }
            if (node.ns == XmpNs::kPDFAExtension) result.extension_present = true;
            else if (!valid) result.undescribed[node.ns];
            if (XmpOpt::IsStruct(node.options) || XmpOpt::IsArray(node.options)) it.SkipSubtree();
        }
    }
    for (const XmpRawProperty& p : raw) {
        if (p.ns == XmpNs::kPDFAExtension) {
            result.extension_present = true;
            continue;
        }
        const XmpPropertyRow* row = nullptr;
        for (const XmpPropertyRow& r : table)
            if (r.ns == p.ns && r.name == p.name) row = &r;
        if (!row || !CheckXmpRawValueType(p, row->type, ctx.Part())) result.undescribed[p.ns];
    }
    for (auto& [ns, props] : result.undescribed) {
        XmpIterator it(meta, ns, "", XmpIterator::e_leaves);
        XmpNode node;
        while (it.Next(node)) {
            std::string_view text = AfterFirstColon(node.path);
            std::size_t cut = text.find_first_of("/[");
            std::string_view name = text.substr(0, cut);
            if (name.empty()) continue;
            props[std::string(name)] = cut != std::string_view::npos;
        }
        // Properties the toolkit moved elsewhere (aliases) are still this namespace's.
        for (const XmpRawProperty& p : raw)
            if (p.ns == ns) props.try_emplace(p.name, !p.IsSimple());
    }
    return result;
}

}  // namespace qvx::PDF
