#include "utility/ui/wep_key_dlg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/base/string_table.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"
#include "platform/win32/test_temp_dir.h"
#include "zelconStrings.h"

namespace {

using zfw::testing::chooseComboItem;
using zfw::testing::click;
using zfw::testing::replaceText;
using zfw::testing::typeText;

struct WepKeyDlgTest : ::testing::Test {
  zfw::testing::FakePlatform fake;
  plat::TestTempDir home;
  WepKeyBlock block{};

  WepKeyDlgTest() { zfw::StringTable::install(zelconStrings()); }
  plat::IniFile Ini() const { return plat::IniFile(home.File("Zelcon.ini")); }
  void Store(int key, const std::string& bytes) {
    block.wepKeys[key].length = uint32_t(bytes.size());
    std::memcpy(block.wepKeys[key].key, bytes.data(), bytes.size());
  }
  std::string Stored(int key) const {
    return std::string(reinterpret_cast<const char*>(block.wepKeys[key].key), block.wepKeys[key].length);
  }
  // Opens the dialog, lets `act` use it and returns the dialog's result.
  int Run(std::function<void(CWepKeyDlg&)> act) {
    CWepKeyDlg dlg(block, Ini());
    zfw::testing::ModalHooks hooks;
    hooks.expect<CWepKeyDlg>(IDD_WEP_KEY, [&](CWepKeyDlg& d) {
      act(d);
      if (!d.isEnded()) click(d, zfw::IDCANCEL);
    });
    return dlg.doModal();
  }
};

std::string Key(CWepKeyDlg& d, int k) { return d.itemText(IDC_WEP_KEY1 + k); }

TEST_F(WepKeyDlgTest, StoredKeysShowAsMasksAndTheLastKeyChoosesTheSize) {
  Store(1, std::string(13, 'b'));
  Store(3, "ddddd");
  block.txKeyIndex = 2;
  Run([&](CWepKeyDlg& d) {
    EXPECT_EQ(Key(d, 0), "");
    EXPECT_EQ(Key(d, 1), std::string(13, '*'));
    EXPECT_EQ(Key(d, 3), "*****");
    EXPECT_EQ(d.comboBox(IDC_WEP_KEY_SIZE).curSel(), kWep40);
    EXPECT_EQ(d.comboBox(IDC_WEP_KEY_SIZE).lbText(0), "40-Bit (5 chars)");
    EXPECT_FALSE(d.isItemEnabled(IDC_WEP_TX_KEY1));
    EXPECT_TRUE(d.isItemEnabled(IDC_WEP_TX_KEY1 + 1));
    EXPECT_EQ(d.checkedRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3), IDC_WEP_TX_KEY1 + 1);
    zfw::testing::saveScreenshot(d, "wep_key_dialog");
  });
}

TEST_F(WepKeyDlgTest, HexadecimalFormatShowsDoubleMasksAndFiltersTyping) {
  Ini().WriteInt("Security", "WepKeyFmt", kWepHex);
  Store(0, "aaaaa");
  Run([&](CWepKeyDlg& d) {
    EXPECT_EQ(Key(d, 0), std::string(10, '*'));
    EXPECT_EQ(d.comboBox(IDC_WEP_KEY_SIZE).lbText(1), "104-Bit (26 digits)");
    typeText(d, IDC_WEP_KEY1 + 1, "1g2ab");
    EXPECT_EQ(Key(d, 1), "12AB");
    typeText(d, IDC_WEP_KEY1 + 1, "cdef0123");  // 12 digits: cut at 10
    EXPECT_EQ(Key(d, 1), "12ABCDEF01");
  });
}

TEST_F(WepKeyDlgTest, AnyValueButHexadecimalReadsAsAscii) {
  Ini().WriteInt("Security", "WepKeyFmt", 7);
  Run([&](CWepKeyDlg& d) { EXPECT_EQ(d.comboBox(IDC_WEP_KEY_FORMAT).curSel(), kWepAscii); });
}

TEST_F(WepKeyDlgTest, FirstKeystrokeInAMaskedKeyClearsItAndChecksItsRadio) {
  Store(0, "aaaaa");
  Run([&](CWepKeyDlg& d) {
    typeText(d, IDC_WEP_KEY1, "x");
    EXPECT_EQ(Key(d, 0), "");
    typeText(d, IDC_WEP_KEY1, "hello");
    EXPECT_EQ(Key(d, 0), "hello");
    EXPECT_EQ(d.checkedRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3), IDC_WEP_TX_KEY1);
    typeText(d, IDC_WEP_KEY1, "!");  // a sixth character is cut
    EXPECT_EQ(Key(d, 0), "hello");
    replaceText(d, IDC_WEP_KEY1, "");
    EXPECT_EQ(d.checkedRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3), 0);
    EXPECT_FALSE(d.isItemEnabled(IDC_WEP_TX_KEY1));
  });
}

TEST_F(WepKeyDlgTest, FormatSwitchConvertsTextsKeepsMasksAndIsPersisted) {
  Store(2, "ccccc");
  Run([&](CWepKeyDlg& d) {
    typeText(d, IDC_WEP_KEY1, "AbC12");
    typeText(d, IDC_WEP_KEY1 + 1, "xyz");
    chooseComboItem(d, IDC_WEP_KEY_FORMAT, kWepHex);
    EXPECT_EQ(Ini().ReadInt("Security", "WepKeyFmt", -1), kWepHex);
    EXPECT_EQ(d.comboBox(IDC_WEP_KEY_SIZE).lbText(0), "40-Bit (10 digits)");
    EXPECT_EQ(d.comboBox(IDC_WEP_KEY_SIZE).curSel(), kWep40);
    EXPECT_EQ(Key(d, 0), "4162433132");
    EXPECT_EQ(Key(d, 1), "78797A");
    EXPECT_EQ(Key(d, 2), std::string(10, '*'));
    chooseComboItem(d, IDC_WEP_KEY_FORMAT, kWepAscii);
    EXPECT_EQ(Ini().ReadInt("Security", "WepKeyFmt", -1), kWepAscii);
    EXPECT_EQ(Key(d, 0), "AbC12");
    EXPECT_EQ(Key(d, 2), "*****");
  });
}

// Hexadecimal text that is not whole printable characters stays as it is; OK then names the
// length instead of storing bytes the user never typed.
TEST_F(WepKeyDlgTest, HexTextThatIsNotPrintableStaysOnTheSwitchToAscii) {
  Ini().WriteInt("Security", "WepKeyFmt", kWepHex);
  const struct {
    const char* typed;
  } cases[] = {{"414243444"}, {"0102030405"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Ini().WriteInt("Security", "WepKeyFmt", kWepHex);
    fake.boxes.clear();
    EXPECT_EQ(Run([&](CWepKeyDlg& d) {
                typeText(d, IDC_WEP_KEY1, c.typed);
                chooseComboItem(d, IDC_WEP_KEY_FORMAT, kWepAscii);
                EXPECT_EQ(Key(d, 0), c.typed);
                click(d, zfw::IDOK);
                EXPECT_FALSE(d.isEnded());
              }),
              zfw::IDCANCEL);
    ASSERT_EQ(fake.boxes.texts().size(), 1u);
    EXPECT_EQ(fake.boxes.texts()[0], "Wep Key 1\r\nKey size is 40 bits.  Please enter 5 ASCII characters.");
    EXPECT_EQ(block.wepKeys[0].length, 0u);
  }
}

TEST_F(WepKeyDlgTest, SizeChangeAsksAndYesResetsEveryKey) {
  Store(0, "aaaaa");
  fake.boxes.answer(zfw::IDNO);
  fake.boxes.answer(zfw::IDYES);
  EXPECT_EQ(Run([&](CWepKeyDlg& d) {
              chooseComboItem(d, IDC_WEP_KEY_SIZE, kWep104);
              EXPECT_EQ(d.comboBox(IDC_WEP_KEY_SIZE).curSel(), kWep40);
              EXPECT_EQ(Key(d, 0), "*****");
              chooseComboItem(d, IDC_WEP_KEY_SIZE, kWep104);
              EXPECT_EQ(Key(d, 0), "");
              EXPECT_FALSE(d.isItemEnabled(IDC_WEP_TX_KEY1));
              EXPECT_EQ(d.ChangedKeys(), 0xF);
              typeText(d, IDC_WEP_KEY1 + 2, "0123456789abc");
              click(d, zfw::IDOK);
            }),
            zfw::IDOK);
  ASSERT_EQ(fake.boxes.boxes().size(), 2u);
  EXPECT_EQ(fake.boxes.boxes()[0].text, "Change WEP key size will reset all the WEP key values, continue? ");
  EXPECT_EQ(fake.boxes.boxes()[0].flags & 0xF, unsigned(zfw::MB_YESNO));
  EXPECT_EQ(block.wepKeys[0].length, 0u);
  EXPECT_EQ(block.wepKeys[0].key[0], 0);
  EXPECT_EQ(Stored(2), "0123456789abc");
  EXPECT_EQ(block.txKeyIndex, 3u);
}

TEST_F(WepKeyDlgTest, SizeChangeWithNoKeysAsksNothing) {
  Run([&](CWepKeyDlg& d) {
    chooseComboItem(d, IDC_WEP_KEY_SIZE, kWep104);
    typeText(d, IDC_WEP_KEY1, std::string(14, 'k'));
    EXPECT_EQ(Key(d, 0), std::string(13, 'k'));
  });
  EXPECT_TRUE(fake.boxes.boxes().empty());
}

TEST_F(WepKeyDlgTest, OkRefusesWrongLengthsAndAnEmptyTransmitKey) {
  const struct {
    int format, size, key;
    std::string text;
    const char* message;
  } cases[] = {
      {kWepAscii, kWep40, 0, "abcd", "Wep Key 1\r\nKey size is 40 bits.  Please enter 5 ASCII characters."},
      {kWepHex, kWep40, 1, "ABCDEF012", "Wep Key 2\r\nKey size is 40 bits.  Please enter 10 hexadecimal digits."},
      {kWepAscii, kWep104, 2, "abcde", "Wep Key 3\r\nKey size is 104 bits.  Please enter 13 ASCII characters."},
      {kWepHex, kWep104, 3, "ABCDEF0123", "Wep Key 4\r\nKey size is 104 bits.  Please enter 26 hexadecimal digits."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Ini().WriteInt("Security", "WepKeyFmt", c.format);
    fake.boxes.clear();
    EXPECT_EQ(Run([&](CWepKeyDlg& d) {
                chooseComboItem(d, IDC_WEP_KEY_SIZE, c.size);
                typeText(d, IDC_WEP_KEY1 + c.key, c.text);
                click(d, zfw::IDOK);
                EXPECT_FALSE(d.isEnded());
              }),
              zfw::IDCANCEL);
    ASSERT_EQ(fake.boxes.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes.boxes()[0].text, c.message);
    EXPECT_EQ(fake.boxes.boxes()[0].flags, unsigned(zfw::MB_ICONEXCLAMATION));
    EXPECT_EQ(block.wepKeys[c.key].length, 0u);
  }

  fake.boxes.clear();
  Ini().WriteInt("Security", "WepKeyFmt", kWepAscii);
  Run([&](CWepKeyDlg& d) {
    typeText(d, IDC_WEP_KEY1, "abcde");
    d.checkRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3, IDC_WEP_TX_KEY1 + 1);
    click(d, zfw::IDOK);
    EXPECT_FALSE(d.isEnded());
  });
  EXPECT_EQ(fake.boxes.texts(), std::vector<std::string>{"You have selected an invalid key as Transmit key."});
  EXPECT_EQ(block.wepKeys[0].length, 0u);
}

TEST_F(WepKeyDlgTest, OkWritesOnlyChangedKeysAndPicksTheTransmitKey) {
  Store(0, "aaaaa");
  Store(1, "bbbbb");
  block.txKeyIndex = 0;
  EXPECT_EQ(Run([&](CWepKeyDlg& d) {
              typeText(d, IDC_WEP_KEY1 + 1, "x");  // clears key 2's mask
              typeText(d, IDC_WEP_KEY1 + 2, "ccccc");
              d.checkRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3, 0);
              click(d, zfw::IDOK);
            }),
            zfw::IDOK);
  EXPECT_EQ(Stored(0), "aaaaa");  // untouched: kept
  EXPECT_EQ(block.wepKeys[1].length, 0u);
  EXPECT_EQ(block.wepKeys[1].key[0], 0);
  EXPECT_EQ(Stored(2), "ccccc");
  EXPECT_EQ(block.txKeyIndex, 1u);  // no radio: the first key with text

  block = {};
  Ini().WriteInt("Security", "WepKeyFmt", kWepHex);
  Run([&](CWepKeyDlg& d) {
    typeText(d, IDC_WEP_KEY1 + 2, "00ff10aB7e");
    d.checkRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3, 0);
    click(d, zfw::IDOK);
  });
  EXPECT_EQ(Stored(2), std::string("\x00\xff\x10\xab\x7e", 5));
  EXPECT_EQ(block.txKeyIndex, 3u);
}

TEST_F(WepKeyDlgTest, CancelLeavesTheBlockAlone) {
  Store(0, "aaaaa");
  block.txKeyIndex = 1;
  const WepKeyBlock before = block;
  EXPECT_EQ(Run([&](CWepKeyDlg& d) {
              typeText(d, IDC_WEP_KEY1, "zzzzz");
              click(d, zfw::IDCANCEL);
            }),
            zfw::IDCANCEL);
  EXPECT_EQ(std::memcmp(&before, &block, sizeof block), 0);
}

}  // namespace
