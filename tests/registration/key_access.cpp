#include "tests/registration/key_access.h"

namespace registration_tests {

LONG denyEveryone(HKEY key, REGSAM denied) {
  BYTE aclBuffer[256];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
  PSID everyone = reinterpret_cast<PSID>(sidBuffer);
  InitializeSid(everyone, &world, 1);
  *GetSidSubAuthority(everyone, 0) = SECURITY_WORLD_RID;
  if (denied != 0) AddAccessDeniedAce(acl, ACL_REVISION, denied, everyone);
  AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
}

}  // namespace registration_tests
