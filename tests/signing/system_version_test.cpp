// Runs under a Wine version setting chosen per run (run-with-version):
// KORVEL_EXPECT_VERSION is the "major.minor" the system must report and
// KORVEL_EXPECT_DIGEST the digest ("sha1" or "sha256") it must sign with.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "signing/signature.h"
#include "tests/signing/signing_test_support.h"

using namespace signing_testing;

namespace {

std::string expected(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool expectSha1() { return expected("KORVEL_EXPECT_DIGEST") == "sha1"; }

TEST(SystemVersion, IsTheConfiguredOne) {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(GetVersionExW(&version));
  EXPECT_EQ(std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion),
            expected("KORVEL_EXPECT_VERSION"));
}

TEST(SystemVersion, LegacyExactlyForVersions5) { EXPECT_EQ(korvel::isLegacyPlatform(), expectSha1()); }

TEST(SystemVersion, ConfirmSignsWithTheDigestOfTheSystem) {
  useStore({{L"signer"}});
  auto control = newControl(L"abc");
  const ConfirmRun run = confirmRow(control.get(), firstItem);
  ASSERT_EQ(run.dialog.result, 0u);
  const MessageContent message = readMessage(decodeBase64(getIssuerDN(control.get())));
  EXPECT_EQ(message.hashOid, expectSha1() ? korvel::kSha1Oid : korvel::kSha256Oid);
  EXPECT_EQ(message.content, utf16Bytes(L"abc"));
  const std::string name = "version-" + expected("KORVEL_WINE_VERSION");
  saveForOpenSsl(std::wstring(name.begin(), name.end()), control.get(), L"abc", expectSha1() ? "sha1" : "sha256",
                 L"signer");
}

}  // namespace
