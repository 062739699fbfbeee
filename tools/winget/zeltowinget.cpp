// zeltowinget: the installer's winget manifest and the README's table of exit
// codes, both made from the program's own tables, so that neither can say
// something the program does not do.
//   zeltowinget table                      the README's table, in Markdown
//   zeltowinget manifest DIR URL SHA256    the version, installer and default
//                                          locale manifests into DIR
// The URL must be https (winget refuses to download anything else); nothing
// here needs the network.
#include "resources/exitcodes.h"
#include "resources/version.h"
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
struct ExitRow {
    int code;
    const char* response;
    const char* text;
};
#define ZELTO_EXIT_ROW(name, code, id, response, text) {code, response, text},
const ExitRow kExitRows[] = {ZELTO_EXIT_CODES(ZELTO_EXIT_ROW)};
#undef ZELTO_EXIT_ROW

const char kIdentifier[] = "OstrellZuvak." ZELTO_PRODUCT_CODE;
const char kSchemaVersion[] = "1.12.0";

std::string schemaLine(const char* type) {
    return std::string("# yaml-language-server: $schema=https://aka.ms/winget-manifest.") + type +
           "." + kSchemaVersion + ".schema.json\n\n";
}

// The lines every manifest of the package begins and ends with.
std::string opening(const char* type) {
    return schemaLine(type) + "PackageIdentifier: " + kIdentifier +
           "\nPackageVersion: \"" ZELTO_VERSION_TEXT "\"\n";
}
std::string closing(const char* type) {
    return std::string("ManifestType: ") + type + "\nManifestVersion: " + kSchemaVersion + "\n";
}

std::string versionManifest() {
    return opening("version") + "DefaultLocale: en-US\n" + closing("version");
}

std::string installerManifest(const std::string& url, const std::string& sha256) {
    std::string text = opening("installer");
    text +=
        "InstallerType: exe\n"
        "Scope: machine\n"
        "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
        "InstallerSwitches:\n"
        "  Silent: /S\n"
        "  SilentWithProgress: /S\n"
        "  Log: /LOG=\"<LOGPATH>\"\n"
        "UnsupportedArguments:\n- location\n"
        "ElevationRequirement: elevationRequired\n"
        "ExpectedReturnCodes:\n";
    for (const ExitRow& row : kExitRows) {
        if (!row.response[0]) continue;
        text += "- InstallerReturnCode: " + std::to_string(row.code) + "\n  ReturnResponse: " +
                row.response + "\n";
    }
    text +=
        "ProductCode: " ZELTO_PRODUCT_CODE "\n"
        "AppsAndFeaturesEntries:\n"
        "- DisplayName: " ZELTO_DISPLAY_NAME "\n"
        "  Publisher: " ZELTO_PUBLISHER "\n"
        "  DisplayVersion: \"" ZELTO_VERSION_TEXT "\"\n"
        "  ProductCode: " ZELTO_PRODUCT_CODE "\n"
        "Installers:\n"
        "- Architecture: x86\n"
        "  InstallerUrl: " + url + "\n"
        "  InstallerSha256: " + sha256 + "\n";
    return text + closing("installer");
}

std::string localeManifest() {
    return opening("defaultLocale") +
           "PackageLocale: en-US\n"
           "Publisher: " ZELTO_PUBLISHER "\n"
           "PackageName: " ZELTO_PRODUCT_NAME "\n"
           "License: " ZELTO_COPYRIGHT "\n"
           "ShortDescription: " ZELTO_DESCRIPTION "\n" +
           closing("defaultLocale");
}

// An https address of printable characters without blanks, as the schema's
// pattern and a plain YAML value take it.
bool usableUrl(const std::string& url) {
    if (url.size() <= 8 || url.size() > 2048) return false;
    for (size_t i = 0; i < 8; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != "https://"[i]) return false;
    for (unsigned char c : url)
        if (c <= ' ' || c >= 127) return false;
    return true;
}

// 64 hexadecimal digits, given back in upper case as winget writes them.
bool usableHash(std::string& hash) {
    if (hash.size() != 64) return false;
    for (char& c : hash) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::remove(path.c_str());
    return ok;
}

int usage() {
    std::fprintf(stderr,
                 "usage: zeltowinget table\n"
                 "       zeltowinget manifest DIR https://... SHA256\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "table") == 0) {
        std::printf("| exit code | meaning |\n|---|---|\n");
        for (const ExitRow& row : kExitRows) std::printf("| %d | %s |\n", row.code, row.text);
        return 0;
    }
    if (argc != 5 || std::strcmp(argv[1], "manifest") != 0) return usage();
    std::string dir = argv[2];
    std::string url = argv[3];
    std::string hash = argv[4];
    if (!usableUrl(url)) {
        std::fprintf(stderr, "zeltowinget: the installer's address must be https://...: '%s'\n",
                     url.c_str());
        return 1;
    }
    if (!usableHash(hash)) {
        std::fprintf(stderr, "zeltowinget: not a SHA-256 hash: '%s'\n", hash.c_str());
        return 1;
    }
    std::string base = dir + "/" + kIdentifier;
    if (!writeFile(base + ".yaml", versionManifest()) ||
        !writeFile(base + ".installer.yaml", installerManifest(url, hash)) ||
        !writeFile(base + ".locale.en-US.yaml", localeManifest())) {
        std::fprintf(stderr, "zeltowinget: cannot write the manifest into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
