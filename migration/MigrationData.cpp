#include "migration/MigrationData.h"

namespace migration {
namespace {

constexpr TIndexOptions kPrimary = ixPrimary | ixUnique;
constexpr TIndexOptions kSecondary = ixCaseInsensitive;

constexpr WideningRow kWidening[] = {
    {"kokyaku.db", "CARRY_TEL", 14},  {"bicycle.db", "TOUROKU_NO", 20}, {"tovo.db", "SYASEKI_NO", 20},
    {"bicycle.db", "SYATAI_NO", 20},  {"bigtovo.db", "SYATAI_NO", 20},  {"kokyaku.db", "NAME", 32},
    {"kokyaku.db", "KANA", 32},
};

// ---- tovo table: moped registrations ----------------------------------------------------------

constexpr FieldLayout kTovoFields[] = {
    {"SYARYOU_NO", ftString, 20, false}, {"SYATAI_NO", ftString, 20, false}, {"SYASEKI_NO", ftString, 20, false},
    {"ID", ftInteger, 0, true},          {"TOUROKU_DATE", ftDate, 0, false}, {"MAKER", ftString, 20, false},
    {"SHAMEI", ftString, 20, false},     {"COLOR", ftString, 10, false},     {"SINKOSYA", ftString, 4, false},
    {"HAISYA_DATE", ftDate, 0, false},   {"SYASYUBETU", ftString, 8, false},
};

constexpr IndexLayout kTovoIndexes[] = {
    {"", "SYARYOU_NO; SYATAI_NO; SYASEKI_NO", kPrimary},
    {"IX_SYARYOU", "SYARYOU_NO", kSecondary},
    {"IX_SYATAI", "SYATAI_NO", kSecondary},
    {"Kokyaku_ID", "ID", kSecondary},
};

constexpr CopyRule kTovoRules[] = {
    {"SYARYOU_NO", CopyKind::kText, false}, {"SYATAI_NO", CopyKind::kText, false},
    {"SYASEKI_NO", CopyKind::kText, false}, {"ID", CopyKind::kInteger, false},
    {"TOUROKU_DATE", CopyKind::kDate, false}, {"MAKER", CopyKind::kText, false},
    {"SHAMEI", CopyKind::kText, false},     {"COLOR", CopyKind::kText, false},
    {"SINKOSYA", CopyKind::kText, false},   {"HAISYA_DATE", CopyKind::kDate, false},
    {"SYASYUBETU", CopyKind::kText, false},
};

// ---- customer table ---------------------------------------------------------------------------

constexpr FieldLayout kKokyakuFields[] = {
    {"ID", ftInteger, 0, true},
    {"NAME", ftString, 32, false},
    {"KANA", ftString, 32, false},
    {"BIRTHDAY", ftDate, 0, false},
    {"POST_CODE", ftString, 8, false},
    {"ADDRESS1", ftString, 60, false},
    {"ADDRESS2", ftString, 40, false},
    {"TEL", ftString, 12, false},
    {"FAX", ftString, 12, false},
    {"CARRY_TEL", ftString, 14, false},
    {"MAIL_ADDRESS", ftString, 50, false},
    {"COMPANY", ftString, 30, false},
    {"COMP_POST_CODE", ftString, 8, false},
    {"COMPANY_ADDRESS", ftString, 50, false},
    {"COMPANY_TEL", ftString, 12, false},
    {"RGIST_DATE", ftDate, 0, false},
    {"MEMO", ftMemo, 60, false},
    {"SYOKUGYOU", ftString, 12, false},
};

constexpr IndexLayout kKokyakuIndexes[] = {
    {"", "ID", kPrimary},
    {"IX_Address2", "ADDRESS2", kSecondary},
    {"IX_Barthday", "BIRTHDAY", kSecondary},
    {"IXKana", "KANA", kSecondary},
    {"IXName", "NAME", kSecondary},
    {"IXTel", "TEL", kSecondary},
};

// SYOKUGYOU is new and stays empty. A table that has it already (the update run again over a
// migrated table) keeps its values: RebuildTable copies a field the rules leave unset from a
// source field of the same name and type whose values all fit.
constexpr CopyRule kKokyakuRules[] = {
    {"ID", CopyKind::kInteger, false},      {"NAME", CopyKind::kText, false},
    {"KANA", CopyKind::kText, false},       {"BIRTHDAY", CopyKind::kZeroDate, false},
    {"POST_CODE", CopyKind::kText, false},  {"ADDRESS1", CopyKind::kText, false},
    {"ADDRESS2", CopyKind::kText, false},   {"TEL", CopyKind::kText, false},
    {"FAX", CopyKind::kText, false},        {"CARRY_TEL", CopyKind::kText, false},
    {"MAIL_ADDRESS", CopyKind::kText, true}, {"COMPANY", CopyKind::kText, false},
    {"COMP_POST_CODE", CopyKind::kText, false}, {"COMPANY_ADDRESS", CopyKind::kText, false},
    {"COMPANY_TEL", CopyKind::kText, false}, {"RGIST_DATE", CopyKind::kText, false},
    {"MEMO", CopyKind::kText, false},
};

// ---- large-motorcycle table -------------------------------------------------------------------

constexpr FieldLayout kBigTovoFields[] = {
    {"SYATAI_NO", ftString, 20, false},  {"SYARYOU_NO", ftString, 20, false}, {"ID", ftInteger, 0, true},
    {"TOUROKU_DATE", ftDate, 0, false},  {"START_YEAR_MON", ftString, 9, false}, {"MAKER", ftString, 20, false},
    {"SHAMEI", ftString, 20, false},     {"SYAKEN_DATE", ftDate, 0, false},   {"HAISYA_DATE", ftDate, 0, false},
    {"E_KEISIKI", ftString, 20, false},  {"SINKOSYA", ftString, 4, false},
};

constexpr IndexLayout kBigTovoIndexes[] = {
    {"", "SYATAI_NO", kPrimary},
    {"IX_SYARYOU", "SYARYOU_NO", kSecondary},
    {"IX_MAKER", "MAKER", kSecondary},
    {"IX_SYAKEN_DATE", "SYAKEN_DATE", kSecondary},
    {"IX_TOUROKU_DATE", "TOUROKU_DATE", kSecondary},
    {"Kokyaku_ID", "ID", kSecondary},
};

constexpr CopyRule kBigTovoRules[] = {
    {"SYATAI_NO", CopyKind::kText, false},     {"SYARYOU_NO", CopyKind::kText, false},
    {"ID", CopyKind::kInteger, false},         {"TOUROKU_DATE", CopyKind::kDate, false},
    {"START_YEAR_MON", CopyKind::kText, false}, {"MAKER", CopyKind::kText, false},
    {"SHAMEI", CopyKind::kText, false},        {"SYAKEN_DATE", CopyKind::kDate, false},
    {"HAISYA_DATE", CopyKind::kDate, false},   {"E_KEISIKI", CopyKind::kText, false},
    {"SINKOSYA", CopyKind::kText, true},
};

constexpr RebuildPlan kRebuilds[] = {
    {"tovo.db", "NewTovo", "TOVO.DB", "TOVO", RebuildFailure::kTovo, CopyLoop::kOnlyWithRecords, kTovoFields,
     kTovoIndexes, kTovoRules},
    {"kokyaku.db", "NewKokyaku", "KOKYAKU.DB", "KOKYAKU", RebuildFailure::kKokyaku, CopyLoop::kAlways, kKokyakuFields,
     kKokyakuIndexes, kKokyakuRules},
    {"bigtovo.db", "NewBigTovo", "BIGTOVO.DB", "BIGTOVO", RebuildFailure::kBigTovo, CopyLoop::kOnlyWithRecords,
     kBigTovoFields, kBigTovoIndexes, kBigTovoRules},
};

// ---- tables created when missing --------------------------------------------------------------

constexpr FieldLayout kGRiderFields[] = {
    {"G_NO", ftString, 10, true},       {"SYARYOU_NO", ftString, 20, false}, {"SYATAI_NO", ftString, 20, false},
    {"HAIKIRYO", ftSmallint, 0, false}, {"COLOR", ftString, 10, false},      {"NINTEI_NO", ftString, 16, false},
    {"SIYOU_ID", ftInteger, 0, false},  {"SYOYU_ID", ftInteger, 0, false},   {"TANTOU_ID", ftSmallint, 0, false},
    {"KANYU_DATE", ftDate, 0, false},   {"SINKOSYA", ftString, 4, false},    {"SHAMEI", ftString, 20, false},
    {"KEISIKI", ftString, 20, false},   {"E_KEISIKI", ftString, 20, false},
};
constexpr IndexLayout kGRiderIndexes[] = {
    {"", "G_NO", kPrimary},
    {"IX_SYARYOU_NO", "SYARYOU_NO", kSecondary},
    {"IX_SYATAI_NO", "SYATAI_NO", kSecondary},
};

constexpr FieldLayout kTantouFields[] = {
    {"TANTOU_ID", ftSmallint, 0, true}, {"NAME", ftString, 16, false},     {"KANA", ftString, 16, false},
    {"BIRTHDAY", ftDate, 0, false},     {"POST_CODE", ftString, 8, false}, {"ADDRESS1", ftString, 60, false},
    {"ADDRESS2", ftString, 40, false},  {"TEL_SIGAI", ftString, 5, false}, {"TEL", ftString, 10, false},
    {"CARRY_TEL", ftString, 14, false}, {"MEMO", ftString, 60, false},
};
constexpr IndexLayout kTantouIndexes[] = {{"", "TANTOU_ID", kPrimary}};

constexpr FieldLayout kBicycleSeibiFields[] = {
    {"TOUROKU_NO", ftString, 20, true},  {"SEIBI_NO", ftInteger, 0, false},    {"SYATAI_NO", ftString, 20, false},
    {"ID", ftInteger, 0, false},         {"SEIBI_DATE", ftDate, 0, false},     {"TANTOU_NAME", ftString, 16, false},
    {"TENKEN", ftString, 24, false},     {"M_ITEM", ftString, 60, false},      {"M_CONTENT", ftString, 240, false},
    {"M_MEMO", ftString, 120, false},
};
constexpr IndexLayout kBicycleSeibiIndexes[] = {{"", "TOUROKU_NO; SEIBI_NO", kPrimary}};

constexpr FieldLayout kBigTovoSeibiFields[] = {
    {"SEIBI_NO", ftInteger, 0, false},   {"SYATAI_NO", ftString, 20, true},    {"SYARYOU_NO", ftString, 20, false},
    {"ID", ftInteger, 0, false},         {"SEIBI_DATE", ftDate, 0, false},     {"TANTOU_NAME", ftString, 16, false},
    {"MILEGE", ftInteger, 0, false},     {"TENKEN", ftString, 24, false},      {"M_ITEM", ftString, 60, false},
    {"M_CONTENT", ftString, 240, false}, {"M_MEMO", ftString, 120, false},
};
constexpr IndexLayout kBigTovoSeibiIndexes[] = {{"", "SEIBI_NO; SYATAI_NO; SYARYOU_NO", kPrimary}};

constexpr FieldLayout kTovoSeibiFields[] = {
    {"SYATAI_NO", ftString, 20, true},   {"SEIBI_NO", ftInteger, 0, false},    {"SYARYOU_NO", ftString, 20, false},
    {"ID", ftInteger, 0, false},         {"SEIBI_DATE", ftDate, 0, false},     {"TANTOU_NAME", ftString, 16, false},
    {"MILEGE", ftInteger, 0, false},     {"M_ITEM", ftString, 60, false},      {"M_CONTENT", ftString, 240, false},
    {"M_MEMO", ftString, 120, false},
};
constexpr IndexLayout kTovoSeibiIndexes[] = {{"", "SYATAI_NO ;SEIBI_NO", kPrimary}};

constexpr FieldLayout kTovoSyousaiFields[] = {
    {"SYATAI_NO", ftString, 20, true},  {"PATH", ftString, 60, false},     {"KEISIKI", ftString, 10, false},
    {"KISYUMEI", ftString, 20, false},  {"MODEL_NAME", ftString, 20, false}, {"COLOR", ftString, 16, false},
    {"COLOR_NO", ftString, 16, false},  {"MEMO", ftString, 60, false},
};
constexpr IndexLayout kTovoSyousaiIndexes[] = {{"", "SYATAI_NO", kPrimary}};

constexpr CreatedTable kCreated[] = {
    {"G_RIDER.DB", kGRiderFields, kGRiderIndexes},
    {"TANTOU.DB", kTantouFields, kTantouIndexes},
    {"BICYCLE_SEIBI.DB", kBicycleSeibiFields, kBicycleSeibiIndexes},
    {"BigTOVO_SEIBI.DB", kBigTovoSeibiFields, kBigTovoSeibiIndexes},
    {"TOVO_SEIBI.DB", kTovoSeibiFields, kTovoSeibiIndexes},
    {"TOVO_SYOUSAI.DB", kTovoSyousaiFields, kTovoSyousaiIndexes},
};

}  // namespace

std::span<const WideningRow> WideningRows() { return kWidening; }
std::span<const RebuildPlan> Rebuilds() { return kRebuilds; }
std::span<const CreatedTable> CreatedTables() { return kCreated; }

}  // namespace migration
