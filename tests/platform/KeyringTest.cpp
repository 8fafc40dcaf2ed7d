#include "platform/Keyring.h"

#include "support/SecretService.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

using namespace orb;
using namespace orb::platform;
using orb::test::TSecretService;
using orb::test::TSessionBusScope;

namespace
{

const std::string Service = "orb-loader-platform-test";

} // namespace

TEST(Keyring, StoresReadsReplacesAndForgetsThroughTheSecretService)
{
    TSecretService& keyring = TSecretService::Shared();
    const TSessionBusScope bus(keyring.Address());
    ASSERT_EQ(KeyringState(), TKeyringState::ksAvailable);

    WriteKeyring(Service, "bob", "first secret");
    EXPECT_EQ(keyring.Lookup(Service, "bob"), "first secret") << "stored in the service itself";
    EXPECT_EQ(ReadKeyring(Service, "bob"), "first secret");

    WriteKeyring(Service, "bob", "second secret");
    EXPECT_EQ(keyring.Lookup(Service, "bob"), "second secret") << "the entry is replaced, not added beside";
    EXPECT_EQ(ReadKeyring(Service, "bob"), "second secret");

    ForgetKeyring(Service, "bob");
    EXPECT_EQ(keyring.Lookup(Service, "bob"), std::nullopt);
    EXPECT_EQ(ReadKeyring(Service, "bob"), std::nullopt);
    EXPECT_NO_THROW(ForgetKeyring(Service, "bob")) << "forgetting what is not there is no error";
}

TEST(Keyring, KeepsEachKeysSecretAsGiven)
{
    TSecretService& keyring = TSecretService::Shared();
    const TSessionBusScope bus(keyring.Address());
    const struct
    {
        std::string Key;
        std::string Secret;
    } cases[] = {
        {"anna", "plain"},
        {"boris", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C"}, // Cyrillic
        {"carl smith", "with spaces, \"quotes\" and ;=&"},
        {"\xD0\xB4\xD0\xB8\xD0\xBC\xD0\xB0", "a key that is not ASCII"},
    };
    for (const auto& c : cases)
        WriteKeyring(Service, c.Key, c.Secret);
    for (const auto& c : cases)
    {
        EXPECT_EQ(ReadKeyring(Service, c.Key), c.Secret) << c.Key;
        EXPECT_EQ(keyring.Lookup(Service, c.Key), c.Secret) << c.Key;
        ForgetKeyring(Service, c.Key);
    }
    EXPECT_EQ(ReadKeyring(Service, "anna"), std::nullopt);
}

TEST(Keyring, ReadsAnEntryAnotherProgramStored)
{
    TSecretService& keyring = TSecretService::Shared();
    const TSessionBusScope bus(keyring.Address());
    keyring.Store(Service, "dora", "stored by secret-tool");
    EXPECT_EQ(ReadKeyring(Service, "dora"), "stored by secret-tool");
    ForgetKeyring(Service, "dora");
    EXPECT_EQ(keyring.Lookup(Service, "dora"), std::nullopt);
}

TEST(Keyring, TellsWhyNoKeyringIsAvailable)
{
    const TSecretService busAlone(false);
    const struct
    {
        std::string Address;
        TKeyringState Expected;
    } cases[] = {
        {orb::test::NoBusAddress(), TKeyringState::ksNoSessionBus},
        {busAlone.Address(), TKeyringState::ksNoService},
        {TSecretService::Shared().Address(), TKeyringState::ksAvailable},
    };
    for (const auto& c : cases)
    {
        const TSessionBusScope bus(c.Address);
        EXPECT_EQ(KeyringState(), c.Expected) << c.Address;
    }
}

namespace
{

/// In a process of its own (client libraries keep their first bus): reading from a locked keyring, with no prompter
/// to unlock it. 0 when no secret came back (libsecret answers "not found" when its unlock prompt fails; other
/// services refuse), 1 when the locked secret did.
int ReadFromALockedKeyring()
{
    const TSecretService keyring;
    const TSessionBusScope bus(keyring.Address());
    WriteKeyring(Service, "eve", "locked away");
    keyring.LockAll();
    try
    {
        const auto secret = ReadKeyring(Service, "eve");
        std::cerr << (secret ? "read: " + *secret : std::string("no entry")) << std::endl;
        return secret ? 1 : 0;
    }
    catch (const EKeyringError& e)
    {
        std::cerr << "refused: " << e.what() << std::endl;
        return 0;
    }
}

} // namespace

TEST(Keyring, ALockedKeyringGivesNoSecret)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(ReadFromALockedKeyring()), testing::ExitedWithCode(0), "no entry|refused: .+");
}
