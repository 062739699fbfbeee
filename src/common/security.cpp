#include "common/security.h"
#include "common/dynlib.h"
#include <wincrypt.h>

namespace {
// The two well-known accounts, laid out as SID structures: revision 1, the
// count of their parts, the NT authority (5), then the parts.
struct WellKnownSid {
    BYTE revision;
    BYTE partCount;
    BYTE authority[6];
    DWORD parts[2];
};
const WellKnownSid kAdministrators = {
    SID_REVISION, 2, {0, 0, 0, 0, 0, 5}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
const WellKnownSid kLocalSystem = {SID_REVISION, 1, {0, 0, 0, 0, 0, 5}, {SECURITY_LOCAL_SYSTEM_RID, 0}};

// Spreads every bit of x over the whole result (the finaliser of SplitMix64).
ULONGLONG stir(ULONGLONG x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool systemRandom(ULONGLONG* out) {
    if (const SystemRandomLibrary* random = systemRandomLibrary())
        if (random->SystemFunction036(out, sizeof *out)) return true;
    const CryptoRandomLibrary* crypto = cryptoRandomLibrary();
    ULONG_PTR provider = 0;
    if (!crypto || !crypto->CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_FULL,
                                                 CRYPT_VERIFYCONTEXT))
        return false;
    bool drawn = crypto->CryptGenRandom(provider, sizeof *out, reinterpret_cast<BYTE*>(out)) != FALSE;
    crypto->CryptReleaseContext(provider, 0);
    return drawn;
}
}  // namespace

bool hasFileSecurity() { return !(GetVersion() & 0x80000000u); }

bool buildPrivateSecurity(PrivateSecurity* security) {
    const SecurityLibrary* api = securityLibrary();
    if (!api) return false;
    PACL list = reinterpret_cast<PACL>(security->list);
    if (!api->InitializeAcl(list, sizeof security->list, ACL_REVISION)) return false;
    const WellKnownSid* accounts[2] = {&kAdministrators, &kLocalSystem};
    for (DWORD i = 0; i < 2; ++i) {
        ACE_HEADER* entry = NULL;
        if (!api->AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS,
                                      const_cast<WellKnownSid*>(accounts[i])) ||
            !api->GetAce(list, i, reinterpret_cast<LPVOID*>(&entry)))
            return false;
        // AddAccessAllowedAce of NT 4 takes no flags: the entry is passed on
        // to files and folders made inside by setting them afterwards.
        entry->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    if (!api->InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !api->SetSecurityDescriptorDacl(&security->descriptor, TRUE, list, FALSE))
        return false;
    // Windows 2000 and later add the parent's inheritable entries to a new
    // folder's own list unless it is protected. NT 4 has no such merging: a
    // folder made with a list of its own keeps exactly that list.
    if (const SecurityControlLibrary* control = securityControlLibrary())
        if (!control->SetSecurityDescriptorControl(&security->descriptor, SE_DACL_PROTECTED,
                                                   SE_DACL_PROTECTED))
            return false;
    security->attributes.nLength = sizeof security->attributes;
    security->attributes.lpSecurityDescriptor = &security->descriptor;
    security->attributes.bInheritHandle = FALSE;
    return true;
}

ULONGLONG unguessableNumber() {
    static DWORD calls = 0;
    LARGE_INTEGER counter;
    counter.QuadPart = 0;
    QueryPerformanceCounter(&counter);
    SYSTEMTIME now;
    GetSystemTime(&now);
    ULONGLONG mixed = stir(GetTickCount() ^ (ULONGLONG(GetCurrentProcessId()) << 32));
    mixed = stir(mixed ^ ULONGLONG(counter.QuadPart));
    mixed = stir(mixed ^ GetCurrentThreadId() ^ (ULONGLONG(++calls) << 32));
    mixed = stir(mixed ^ (ULONGLONG(now.wMilliseconds | now.wSecond << 10 | now.wMinute << 16) << 20) ^
                 (ULONGLONG(now.wHour | now.wDay << 5 | now.wMonth << 10 | now.wYear << 14) << 40));
    ULONGLONG drawn = 0;
    if (systemRandom(&drawn)) mixed ^= drawn;
    return mixed;
}
