// Tables written through the table layer, read back by pxlib, an independent Paradox reader.

#include <gtest/gtest.h>

#ifndef _WIN32
extern "C" {
#include <paradox.h>
}

#include "engine/Session.h"
#include "engine/ShortDate.h"
#include "engine/Table.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace {

TEST(TablePxlib, PxlibReadsWhatTheTableLayerWrote) {
  std::filesystem::path dir = testing_support::FreshTempDir("TablePxlib");
  Session().SetConfigFile(dir / "NO-IDAPI32.CFG");
  const std::string yamada = text::FromUtf8("山田太郎").value();
  {
    TTable t;
    t.SetDatabaseName(dir.string());
    t.SetTableName("kokyaku");
    t.SetTableType(ttParadox);
    t.SetExclusive(true);
    t.FieldDefs().Add("ID", ftInteger, 0, true);
    t.FieldDefs().Add("NAME", ftString, 16, false);
    t.FieldDefs().Add("HAIKIRYO", ftSmallint, 0, false);
    t.FieldDefs().Add("BIRTHDAY", ftDate, 0, false);
    t.IndexDefs().Add("", "ID", ixPrimary | ixUnique);
    t.CreateTable();
    t.Open();
    for (int id : {300, 100, 200}) {
      t.Append();
      t.FieldByName("ID").SetAsInteger(id);
      t.FieldByName("NAME").SetAsString(id == 100 ? yamada : "N" + std::to_string(id));
      t.FieldByName("HAIKIRYO").SetAsInteger(id / 2 - 200);
      t.FieldByName("BIRTHDAY").SetAsDateTime(engine::CivilToDateTime({1996, 2, 2}) + id);
    }
    t.Post();
  }
  pxdoc_t* px = PX_new();
  ASSERT_NE(px, nullptr);
  ASSERT_EQ(PX_open_file(px, (dir / "kokyaku.DB").string().c_str()), 0);
  pxhead_t* head = px->px_head;
  EXPECT_EQ(head->px_numrecords, 3);
  EXPECT_EQ(head->px_numfields, 4);
  EXPECT_EQ(head->px_primarykeyfields, 1);
  EXPECT_EQ(head->px_doscodepage, 932);
  EXPECT_STREQ(head->px_fields[1].px_fname, "NAME");
  EXPECT_EQ(head->px_fields[1].px_ftype, pxfAlpha);
  EXPECT_EQ(head->px_fields[1].px_flen, 16);
  EXPECT_EQ(head->px_fields[2].px_ftype, pxfShort);
  EXPECT_EQ(head->px_fields[3].px_ftype, pxfDate);

  std::vector<char> data(head->px_recordsize);
  const int ids[] = {100, 200, 300};  // key order, whatever the order of appending
  for (int r = 0; r < 3; ++r) {
    ASSERT_NE(PX_get_record(px, r, data.data()), nullptr);
    char* p = data.data();
    long id = 0, day = 0;
    short cc = 0;
    char* name = nullptr;
    ASSERT_GT(PX_get_data_long(px, p, 4, &id), 0);
    EXPECT_EQ(id, ids[r]);
    ASSERT_GT(PX_get_data_alpha(px, p + 4, 16, &name), 0);
    EXPECT_EQ(std::string(name), ids[r] == 100 ? yamada : "N" + std::to_string(ids[r]));
    px->free(px, name);
    ASSERT_GT(PX_get_data_short(px, p + 20, 2, &cc), 0);
    EXPECT_EQ(cc, ids[r] / 2 - 200);
    ASSERT_GT(PX_get_data_long(px, p + 22, 4, &day), 0);
    EXPECT_EQ(day, 728691 + ids[r]) << "1996-02-02 is day 728691";
  }
  PX_close(px);
  PX_delete(px);
  Session().SetConfigFile({});
}

}  // namespace

#else

TEST(TablePxlib, PxlibReadsWhatTheTableLayerWrote) {
  GTEST_SKIP() << "pxlib is a native library; this build reads tables with our engine only";
}

#endif
