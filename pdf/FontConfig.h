#pragma once
// The engine's font-substitution configuration: the entries of a small XML file that name,
// per character collection, a font program to use for fonts a document does not embed.
//
//   <config><fonts>
//     <subst><collection>japan1</collection><file>/usr/share/fonts/x.otf</file><name>X</name></subst>
//   </fonts></config>
//
// The three values may also be given as attributes of <subst>.

#include <istream>
#include <mutex>
#include <string>
#include <vector>

namespace qvx::PDF {

struct FontSubstitute {
    std::string collection;  // identity, japan1, japan2, gb1, cns1 or korea1 (lower case)
    std::string file;
    std::string name;
};

// The process-wide store of substitutes, filled by LoadConfigFile and read by conversion.
class FontConfig {
public:
    static FontConfig& Instance();

    // Parses a configuration and, only when all of it is valid, replaces the stored entries.
    // Throws Common::Exception on malformed XML, a missing element or an unknown collection.
    void Load(std::istream& in);
    std::vector<FontSubstitute> Substitutes() const;
    // The files entries name that did not exist when the configuration was loaded: said
    // once by the caller of Load, and skipped quietly by every font after.
    std::vector<std::string> MissingFiles() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<FontSubstitute> m_entries;
    std::vector<std::string> m_missing;
};

// Loads the configuration file at path into FontConfig::Instance(). Throws the engine
// exception when the file does not exist.
void LoadConfigFile(const std::string& path);

}  // namespace qvx::PDF
