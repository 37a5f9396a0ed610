// Takes away everyone's right to set or delete values of existing keys of
// HKEY_LOCAL_MACHINE (arguments: key paths below it), as a user without
// rights would meet them: opening such a key for writing is refused. The
// keys can still be deleted as a whole, so the next test clears them.
// Exit code: 0 when every key got the denying DACL.
#include <windows.h>

int main(int argc, char **argv) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return 1;
    DWORD acl[128];
    PACL dacl = reinterpret_cast<PACL>(acl);
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(dacl, sizeof acl, ACL_REVISION) ||
        !AddAccessDeniedAce(dacl, ACL_REVISION, KEY_SET_VALUE, everyone) ||
        !AddAccessAllowedAce(dacl, ACL_REVISION, KEY_ALL_ACCESS, everyone) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE))
        return 1;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        HKEY key = nullptr;
        failed |= RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[i], 0, WRITE_DAC, &key) != ERROR_SUCCESS ||
                  RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) != ERROR_SUCCESS;
        RegCloseKey(key);
    }
    return failed;
}
