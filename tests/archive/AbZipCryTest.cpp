// TAbZDecoder: the header check in both modes, retries through
// OnPasswordRequest, and decryption that continues the key stream.
#include <gtest/gtest.h>

#include "support/AbZipCryTestSupport.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipCry.h"

namespace {

using legacy_test::Encrypt;

const std::vector<uint8_t> kPlain = {'s', 'e', 'c', 'r', 'e', 't', ' ', 'd', 'a', 't', 'a'};
constexpr uint32_t kCheckWord = 0xA1B2C3D4;

TEST(AbZipCry, RightPasswordPassesInBothModesAndDecrypts) {
  for (bool oneByte : {true, false}) {
    const auto sealed = Encrypt(kPlain, "open sesame", kCheckWord);
    rtl::TMemoryStream source(sealed);
    ab::TAbZDecoder decoder("open sesame", oneByte, kCheckWord, source);
    decoder.OnPasswordRequest = [](ab::TAbZDecoder&, std::string&) { ADD_FAILURE(); };
    EXPECT_TRUE(decoder.DecryptHeader());
    EXPECT_EQ(source.Position(), 12);
    std::vector<uint8_t> rest(kPlain.size());
    source.ReadBuffer(rest.data(), static_cast<int32_t>(rest.size()));
    // In two pieces: the key stream runs on across calls.
    decoder.DecryptBuffer(rest.data(), 4);
    decoder.DecryptBuffer(rest.data() + 4, static_cast<int32_t>(rest.size()) - 4);
    EXPECT_EQ(rest, kPlain);
  }
}

TEST(AbZipCry, TwoByteModeAlsoChecksByteTen) {
  // Byte 11 right, byte 10 wrong: one-byte mode accepts, two-byte refuses.
  const auto sealed = Encrypt(kPlain, "pw", kCheckWord ^ 0x00FF0000);
  {
    rtl::TMemoryStream source(sealed);
    ab::TAbZDecoder decoder("pw", true, kCheckWord, source);
    EXPECT_TRUE(decoder.DecryptHeader());
  }
  rtl::TMemoryStream source(sealed);
  ab::TAbZDecoder decoder("pw", false, kCheckWord, source);
  EXPECT_THROW(decoder.DecryptHeader(), ab::EAbZipInvalidPassword);
}

TEST(AbZipCry, RetriesAskForNewPasswordsFromTheSameHeader) {
  const auto sealed = Encrypt(kPlain, "third", kCheckWord);
  rtl::TMemoryStream source(sealed);
  source.Seek(0, rtl::soBeginning);
  ab::TAbZDecoder decoder("first", false, kCheckWord, source);
  std::vector<std::string> asked;
  decoder.OnPasswordRequest = [&](ab::TAbZDecoder& sender, std::string& password) {
    EXPECT_EQ(&sender, &decoder);
    asked.push_back(password);
    password = asked.size() == 1 ? "second" : "third";
  };
  EXPECT_TRUE(decoder.DecryptHeader());
  EXPECT_EQ(asked, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(decoder.Password(), "third");
  EXPECT_EQ(source.Position(), 12);
}

TEST(AbZipCry, TriesRunOutOrNoHandler) {
  const auto sealed = Encrypt(kPlain, "right", kCheckWord);
  {
    rtl::TMemoryStream source(sealed);
    ab::TAbZDecoder decoder("wrong", false, kCheckWord, source);
    int calls = 0;
    decoder.OnPasswordRequest = [&](ab::TAbZDecoder&, std::string& password) {
      ++calls;
      password = "still wrong";
    };
    try {
      decoder.DecryptHeader();
      ADD_FAILURE();
    } catch (const ab::EAbZipInvalidPassword& e) {
      EXPECT_EQ(e.Message(), "Cannot extract file - invalid password");
    }
    // Three tries, and only the passwords that are tried are asked for.
    EXPECT_EQ(calls, 2);
  }
  {
    rtl::TMemoryStream source(sealed);
    ab::TAbZDecoder decoder("wrong", false, kCheckWord, source);
    EXPECT_THROW(decoder.DecryptHeader(), ab::EAbZipInvalidPassword);
  }
  {
    // An empty answer is tried too.
    const auto empty = Encrypt(kPlain, "", kCheckWord);
    rtl::TMemoryStream source(empty);
    ab::TAbZDecoder decoder("wrong", false, kCheckWord, source);
    decoder.OnPasswordRequest = [](ab::TAbZDecoder&, std::string& password) { password.clear(); };
    EXPECT_TRUE(decoder.DecryptHeader());
  }
}

TEST(AbZipCry, ShortHeaderIsNotAnError) {
  // Three bytes of a twelve-byte header: they are decrypted as far as they
  // go and checked like any header, without a read error. The check byte was
  // never read, so it stands at 0: a check word whose top byte is 0 passes,
  // any other fails as a wrong password.
  for (uint32_t checkWord : {0x00000000u, 0x5A000000u}) {
    rtl::TMemoryStream source(std::vector<uint8_t>{1, 2, 3});
    ab::TAbZDecoder decoder("x", true, checkWord, source);
    decoder.SetRetries(1);
    if (checkWord == 0) {
      EXPECT_TRUE(decoder.DecryptHeader());
    } else {
      EXPECT_THROW(decoder.DecryptHeader(), ab::EAbZipInvalidPassword);
    }
    EXPECT_EQ(source.Position(), 3);
  }
}

}  // namespace
