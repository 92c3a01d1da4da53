#pragma once
// Starts the utility and shows its page of type `Page` (null, with a test failure, when the
// sheet has none).
#include <gtest/gtest.h>

#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {

template <class Page>
Page* ShowPage(ZelconFixture& fixture) {
  CZelconSheet* sheet = fixture.Start();
  if (!sheet) {
    ADD_FAILURE() << "the utility did not start";
    return nullptr;
  }
  for (int i = 0; i < sheet->pageCount(); ++i) {
    if (auto* page = dynamic_cast<Page*>(sheet->page(i))) {
      EXPECT_TRUE(sheet->setActivePage(page));
      zfw::testing::processEvents();
      return page;
    }
  }
  ADD_FAILURE() << "the sheet has no such page";
  return nullptr;
}

}  // namespace zelcon_test
