// The encrypted files of the robustness set open with the passwords qpdf accepts and stay
// locked with the ones it refuses: the empty password, the file's password when it has
// one (qpdf-passwords.txt) and a wrong one.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "common/Exception.h"
#include "sdf/SDFDoc.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Passwords()
{
    std::map<std::string, std::string> out;
    std::ifstream in(qvx::Test::SourceDir() / "tests/sdf/shared/qpdf-passwords.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        auto colon = line.find(':');
        if (colon != std::string::npos) out[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return out;
}

// 1: qpdf opens the file with password, 0: it refuses the password, -1: it cannot read the file.
int QpdfOpens(const fs::path& file, const std::string& password)
{
    auto r = qvx::Test::Run({"/bin/sh", "-c", "exec qpdf --password=\"$1\" --show-encryption \"$0\" 2>&1", file.string(),
                             password}, {}, 20);
    if (r.output.find("invalid password") != std::string::npos ||
        r.output.find("Incorrect password") != std::string::npos)
        return 0;
    return r.status == 0 || r.status == 3 ? 1 : -1;
}

bool FileHas(const fs::path& file, std::string_view text)
{
    std::string data = qvx::Test::ReadFile(file);
    return data.find(text) != std::string::npos;
}

}  // namespace

TEST(EncryptedRobust, PasswordsOpenAsQpdfOpens)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared) GTEST_SKIP() << "no shared material";
    const auto passwords = Passwords();
    int files = 0, checks = 0, opened = 0;
    for (const auto& e : fs::directory_iterator(*shared / "robust/qpdf")) {
        if (e.path().extension() != ".pdf" || !FileHas(e.path(), "/Encrypt")) continue;
        std::string name = fs::relative(e.path(), *shared).string();
        std::vector<std::string> tries = {"", "wrong password"};
        if (auto it = passwords.find(name); it != passwords.end()) tries.push_back(it->second);
        ++files;
        for (const std::string& pw : tries) {
            int theirs = QpdfOpens(e.path(), pw);
            if (theirs < 0) continue;
            qvx::SDF::SDFDoc doc;
            try {
                doc.OpenFile(e.path().string());
            } catch (const qvx::Common::Exception&) {
                continue;  // not a matter of security (the qpdf differential test covers opening)
            }
            if (!doc.GetTrailer()->FindObj("Encrypt")) continue;  // qpdf found one, the rebuild did not
            bool ours = false;
            try {
                ours = pw.empty() ? doc.InitSecurityHandler() : doc.InitStdSecurityHandler(pw);
            } catch (const qvx::Common::Exception& ex) {
                ADD_FAILURE() << name << " with '" << pw << "': " << ex.GetMessage();
                continue;
            }
            EXPECT_EQ(ours, theirs == 1) << name << " with '" << pw << "'";
            ++checks;
            opened += ours;
        }
    }
    std::printf("encrypted files %d, password checks %d, opened %d\n", files, checks, opened);
    EXPECT_GT(checks, 0);
}
