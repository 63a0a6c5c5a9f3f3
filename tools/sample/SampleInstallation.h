#pragma once
// A sample older installation: both alias folders with tables of the structure the program had
// before this update, filled with realistic records, for trying the migration on.
//
// The older structure (what the migration reads; the seven widened fields are narrower here):
// | Table | Fields (A = alpha, bytes; I = long integer; D = date; M = memo, leader bytes) | Key |
// |---|---|---|
// | kokyaku.db | ID I, NAME A20, KANA A20, BIRTHDAY D, POST_CODE A8, ADDRESS1 A60, ADDRESS2 A40, TEL A12, FAX A12, CARRY_TEL A12, MAIL_ADDRESS A50 (not in every installation), COMPANY A30, COMP_POST_CODE A8, COMPANY_ADDRESS A50, COMPANY_TEL A12, RGIST_DATE D, MEMO M60 | ID |
// | tovo.db | SYARYOU_NO A20, SYATAI_NO A20, SYASEKI_NO A14, ID I, TOUROKU_DATE D, MAKER A20, SHAMEI A20, COLOR A10, SINKOSYA A4, HAISYA_DATE D, SYASYUBETU A8 | SYARYOU_NO; SYATAI_NO |
// | bigtovo.db | SYARYOU_NO A20, SYATAI_NO A16, ID I, TOUROKU_DATE D, START_YEAR_MON A9, MAKER A20, SHAMEI A20, SYAKEN_DATE D, HAISYA_DATE D, E_KEISIKI A12, SINKOSYA A4 (not in every installation) | SYARYOU_NO |
// | bicycle.db | TOUROKU_NO A14, SYATAI_NO A16, ID I, MAKER A20, COLOR A10, TOUROKU_DATE D | TOUROKU_NO |
// | G_RIDER.DB (older) | as the new one without E_KEISIKI | G_NO |
// Text is Shift-JIS. Some dates are empty and some hold the zero date 1899/12/30; some values
// fill their field exactly; memos run over several lines.

#include <cstdint>
#include <string>
#include <vector>

namespace sample {

struct SampleOptions {
  std::string liveFolder;  // UTF-8; created when missing
  std::string demoFolder;
  int customers = 200;      // in the live folder; vehicles in proportion
  int demoCustomers = 20;
  std::uint32_t seed = 1;
  bool mailAddress = true;        // the customer table has MAIL_ADDRESS
  bool bigTovoSinkosya = true;    // the motorcycle table has SINKOSYA
  std::string tovoWithout;        // a field the tovo table lacks ("SINKOSYA", "SYASYUBETU")
  std::vector<std::string> presentTables;  // of the six new tables, those already there
  bool olderGRider = false;       // G_RIDER.DB present in its older structure
  // Rebuilt tables ("tovo.db", "kokyaku.db", "bigtovo.db") that hold two records with one new
  // key; the customer and tovo tables are then written without their old key, which would
  // refuse them.
  std::vector<std::string> duplicateKeys;
  bool Duplicates(const std::string& table) const {
    for (const std::string& t : duplicateKeys)
      if (t == table) return true;
    return false;
  }
  std::string demoMissing;        // a table left out of the demo folder ("bicycle.db")
  bool tovoNote = false;          // a text file TOVO.TXT beside the tables of the live folder
};

// Writes both folders; existing tables of the same names are replaced. Throws the engine's
// errors.
void WriteSampleInstallation(const SampleOptions& options);

// Parses the command line of mksample (without the program name); std::nullopt-like failure is
// reported through `error` and a false result.
bool ParseSampleArguments(const std::vector<std::string>& args, SampleOptions& options, std::string& error);

extern const char* const kSampleUsage;

}  // namespace sample
