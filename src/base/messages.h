// The message catalogue: every text the server shows a user, beside its message code.
// Lookup of a code gives its default text, so the code is only a name for the text.
#pragma once

#include <string>
#include <string_view>

namespace zoras {

struct TMessage {
  std::string_view code;
  std::string_view text;
};

// Formats a message the way its text asks: each "%s" or "%d" takes the next argument in
// turn (arguments are already text); "%%" is a percent sign. Missing arguments leave
// the placeholder out.
std::string FormatMessage(std::string_view text, std::initializer_list<std::string_view> args);

inline std::string Msg(const TMessage& m) { return std::string(m.text); }
inline std::string Msg(const TMessage& m, std::initializer_list<std::string_view> args) {
  return FormatMessage(m.text, args);
}

namespace msg {

// General
inline constexpr TMessage ecInternalError{"ecInternalError", "INTERNAL ERROR !"};
inline constexpr TMessage ecZORASVersion{"ecZORASVersion", "ZORAS verzija %s"};
inline constexpr TMessage ecZORASAlreadyRunning{"ecZORASAlreadyRunning", "ZORAS že teče v ozadju !"};

// Conversions of text to values
inline constexpr TMessage ecInvalidInteger{"SInvalidInteger", "'%s' is not a valid integer value"};
inline constexpr TMessage ecInvalidFloat{"SInvalidFloat",
                                         "'%s' is not a valid floating point value"};
inline constexpr TMessage ecInvalidDate{"SInvalidDate", "'%s' is not a valid date"};
inline constexpr TMessage ecInvalidTime{"SInvalidTime", "'%s' is not a valid time"};
inline constexpr TMessage ecInvalidDateTime{"SInvalidDateTime",
                                            "'%s' is not a valid date and time"};
inline constexpr TMessage ecInvalidBoolean{"SInvalidBoolean", "'%s' is not a valid boolean value"};

// Data packets
inline constexpr TMessage ecFieldNotFound{"SFieldNotFound", "Field '%s' not found"};
inline constexpr TMessage ecListIndexError{"SListIndexError", "List index out of bounds (%d)"};
inline constexpr TMessage ecDuplicateFieldName{"SDuplicateFieldName", "Duplicate field name '%s'"};
inline constexpr TMessage ecDataSetClosed{"SDataSetClosed",
                                          "Cannot perform this operation on a closed dataset"};
inline constexpr TMessage ecDataSetEmpty{"SDataSetEmpty",
                                         "Cannot perform this operation on an empty dataset"};
inline constexpr TMessage ecFieldRangeError{
    "SFieldRangeError", "%s is not a valid value for field '%s'. The allowed range is %s to %s"};
inline constexpr TMessage ecPacketNotFound{"SPacketNotFound", "Packet '%s' not found"};
// Data packet reader
inline constexpr TMessage ecPacketMalformed{"SPacketMalformed",
                                            "Malformed data packet at line %d, column %d: %s"};
inline constexpr TMessage ecPacketInvalidUtf8{"SPacketInvalidUtf8",
                                              "Invalid UTF-8 in data packet at line %d, column %d"};
inline constexpr TMessage ecPacketOutsideRoot{"SPacketOutsideRoot",
                                              "text outside the root element"};
inline constexpr TMessage ecPacketSecondRoot{"SPacketSecondRoot", "a second root element"};
inline constexpr TMessage ecPacketDoctype{
    "SPacketDoctype", "A data packet must not contain a document type declaration"};
inline constexpr TMessage ecPacketEncoding{"SPacketEncoding",
                                           "Unsupported data packet encoding '%s'"};
inline constexpr TMessage ecPacketNoDataPacket{
    "SPacketNoDataPacket", "The text is not a data packet (no DATAPACKET element)"};
inline constexpr TMessage ecPacketNoFields{
    "SPacketNoFields", "The data packet has no field definitions (METADATA/FIELDS)"};
inline constexpr TMessage ecPacketFieldNoName{"SPacketFieldNoName",
                                              "Field %d of the data packet has no attrname"};
inline constexpr TMessage ecPacketFieldType{"SPacketFieldType",
                                            "Unknown type '%s' of field '%s' in data packet"};
inline constexpr TMessage ecPacketFieldAttr{"SPacketFieldAttr",
                                            "Invalid %s '%s' of field '%s' in data packet"};
inline constexpr TMessage ecPacketBadValue{
    "SPacketBadValue", "Invalid value '%s' of field '%s' in row %d of data packet"};
// Multi-packet responses
inline constexpr TMessage ecMultiPacketMalformed{"SMultiPacketMalformed",
                                                 "Invalid multi-packet text at offset %d: %s"};
inline constexpr TMessage ecMultiPacketBeginExpected{"SMultiPacketBeginExpected",
                                                     "begin marker expected"};
inline constexpr TMessage ecMultiPacketEndMissing{"SMultiPacketEndMissing",
                                                  "end marker of packet '%s' missing"};
inline constexpr TMessage ecMultiPacketEndMismatch{"SMultiPacketEndMismatch",
                                                   "end marker '%s' does not match packet '%s'"};
// Filter expressions of in-memory tables
inline constexpr TMessage ecFilterError{"SFilterError",
                                        "Filter expression error at position %d: %s"};
inline constexpr TMessage ecFilterUnexpectedEnd{"SFilterUnexpectedEnd",
                                                "unexpected end of expression"};
inline constexpr TMessage ecFilterUnexpected{"SFilterUnexpected", "unexpected '%s'"};
inline constexpr TMessage ecFilterExpected{"SFilterExpected", "'%s' expected"};
inline constexpr TMessage ecFilterOperandExpected{"SFilterOperandExpected",
                                                  "field name or literal expected"};
inline constexpr TMessage ecFilterOperatorExpected{"SFilterOperatorExpected",
                                                   "comparison operator, IN or IS expected"};
inline constexpr TMessage ecFilterUnterminatedText{"SFilterUnterminatedText",
                                                   "unterminated text literal"};
inline constexpr TMessage ecFilterUnterminatedName{"SFilterUnterminatedName",
                                                   "unterminated field name"};
inline constexpr TMessage ecFilterBadNumber{"SFilterBadNumber", "invalid number '%s'"};
inline constexpr TMessage ecFilterTooDeep{"SFilterTooDeep", "expression nested too deeply"};

// Service host
inline constexpr TMessage ecNotImplemented{"ecNotImplemented",
                                           "Operation %s is not implemented yet"};
inline constexpr TMessage ecIOError{"SInOutError", "I/O error %d"};

// Boot settings
inline constexpr TMessage ecBootFileUnreadable{"ecBootFileUnreadable",
                                               "Cannot read the boot file %s: %s"};

// Database drivers
inline constexpr TMessage ecParameterNoValue{"ecParameterNoValue", "Parameter '%s' has no value"};
inline constexpr TMessage ecDatabaseFileMissing{
    "ecDatabaseFileMissing", "Database file %s does not exist; create it with: zorasctl schema"};
inline constexpr TMessage ecSequenceMissing{"ecSequenceMissing", "Sequence %s does not exist"};
inline constexpr TMessage ecSequenceExists{"ecSequenceExists", "Sequence %s already exists"};
inline constexpr TMessage ecNextValForm{
    "ecNextValForm",
    "NEXTVAL FOR is supported only as SELECT NEXTVAL FOR <sequence> [AS <name>] FROM "
    "SYSIBM.SYSDUMMY1"};
inline constexpr TMessage ecColumnValue{"ecColumnValue", "Column %s: %s"};
inline constexpr TMessage ecMultipleStatements{
    "ecMultipleStatements", "A statement must not hold several commands; use a script for that"};
inline constexpr TMessage ecCommitRolledBack{
    "ecCommitRolledBack",
    "The transaction was rolled back because an earlier statement in it failed"};
inline constexpr TMessage ecNoTransaction{"ecNoTransaction", "No transaction is active"};
inline constexpr TMessage ecTransactionActive{"ecTransactionActive",
                                              "A transaction is already active"};

// Database: connection module, pool, data modules, query and table components
inline constexpr TMessage ecErrorUsernameMissing{"ecErrorUsernameMissing",
                                                 "Manjka Database username."};
inline constexpr TMessage ecErrorPasswordMissing{"ecErrorPasswordMissing",
                                                 "Manjka Database Password."};
inline constexpr TMessage ecServerError{"ecServerError",
                                        "Strežnik je preobremenjen. Poskusite znova."};
inline constexpr TMessage ecInternalErrorPoolManagerInit{"ecInternalErrorPoolManagerInit",
                                                         "Internal Error on PoolManager Init !"};
inline constexpr TMessage ecSQLSetRangeUnknownFieldType{
    "ecSQLSetRangeUnknownFieldType", "SQLSetRange : Unknown field type: %s (%s.%s)"};
inline constexpr TMessage ecNoConnection{"ecNoConnection", "%s: no database connection"};
inline constexpr TMessage ecParamNotFound{"SParameterNotFound", "Parameter '%s' not found"};
inline constexpr TMessage ecNotEditing{"SNotEditing", "Dataset not in edit or insert mode"};
inline constexpr TMessage ecNoTableName{"SNoTableName", "%s: missing table name"};
inline constexpr TMessage ecNoKeyFields{"ecNoKeyFields",
                                        "%s: table %s has no key fields to identify a row"};
inline constexpr TMessage ecRecordChanged{"SRecordChanged",
                                          "Record not found or changed by another user"};
inline constexpr TMessage ecInvalidSqlName{"ecInvalidSqlName", "%s: invalid SQL name '%s'"};

// Database: alias registry (aliases.ini)
inline constexpr TMessage ecAliasesUnreadable{"ecAliasesUnreadable",
                                              "Cannot read the alias registry %s: %s"};
inline constexpr TMessage ecAliasBadDriver{
    "ecAliasBadDriver", "Alias '%s' in %s: unknown Driver '%s' (SQLite or PostgreSQL expected)"};
inline constexpr TMessage ecAliasNoDatabase{"ecAliasNoDatabase", "Alias '%s' in %s has no Database"};
inline constexpr TMessage ecAliasBadConnectionString{
    "ecAliasBadConnectionString", "Alias '%s' in %s: invalid PostgreSQL connection string: %s"};
inline constexpr TMessage ecAliasLoginInConnectionString{
    "ecAliasLoginInConnectionString",
    "Alias '%s' in %s: the connection string must not set %s (user and password come from "
    "ZOR.INI)"};
inline constexpr TMessage ecAliasUnknown{"ecAliasUnknown", "Unknown database alias '%s' (not in %s)"};

// zorasctl
inline constexpr TMessage ecSchemaFileFailed{"ecSchemaFileFailed",
                                             "Schema file %s failed, nothing was changed: %s"};
inline constexpr TMessage ecSchemaSetupFailed{
    "ecSchemaSetupFailed", "The %s dialect setup failed, nothing was changed: %s"};
inline constexpr TMessage ecScrambleTextEmpty{"ecScrambleTextEmpty",
                                              "The text to scramble must not be empty"};
inline constexpr TMessage ecScrambleTextTooLong{
    "ecScrambleTextTooLong",
    "The text to scramble has %d bytes; a ZOR.INI value holds at most %d"};

// Identifiers and the euro changeover
inline constexpr TMessage ecWarningIDWriteNotSucc{
    "ecWarningIDWriteNotSucc", "Posodabljanje zapisa v tabeli ID - stolpec %s ni uspelo !"};
inline constexpr TMessage ecErrorGENID{
    "ecErrorGENID", "Posodabljanje zapisa v tabeli GENID - ključ %s ni uspelo !"};
inline constexpr TMessage ecErrorSequence{"ecErrorSequence",
                                          "%s: napaka pri sekvenci %s_SEQ. Sporočilo: %s"};
inline constexpr TMessage ecNonPositiveBase{"ecNonPositiveBase",
                                            "Cannot raise non positive base to power"};

// Security: sessions, users, passwords, rights
inline constexpr TMessage ecSessionRelogin{"ecSessionRelogin", "Potrebna je ponovna prijava !"};
inline constexpr TMessage ecUserNoRights{"ecUserNoRights", "Uporabnik %s nima dovolj pravic !"};
inline constexpr TMessage ecUserInactive{"ecUserInactive", "Uporabnik %s ni aktiven !"};
inline constexpr TMessage ecAccessDenied{"ecAccessDenied", "Dostop do \"%s\" ni dovoljen !"};
inline constexpr TMessage ecUserLocked{
    "ecUserLocked",
    "Uporabnik %s je zaklenjen, zaradi večkratnega napačnega vnosa gesla !"};
inline constexpr TMessage ecLoginDateExceeded{
    "ecLoginDateExceeded", "Prijava s tem uporabniškim imenom je bila dovoljena samo do %s !"};
inline constexpr TMessage ecErrorDecodePassword{"ecErrorDecodePassword",
                                                "Napaka pri odkodiranju gesla. Sporočilo: %s"};
inline constexpr TMessage ecInvalidBase64{"ecInvalidBase64", "Invalid Base64 text"};
inline constexpr TMessage ecWrongPassword{"ecWrongPassword", "Vpisali ste napačno geslo !"};
inline constexpr TMessage ecFirstLoginPasswordChange{
    "ecFirstLoginPasswordChange", "Ob prvi prijavi je zamenjava gesla obvezna !"};
inline constexpr TMessage ecPasswordTooShort{"ecPasswordTooShort",
                                             "Geslo je krajše od %s znakov !"};
inline constexpr TMessage ecPasswordMustChange{"ecPasswordMustChange",
                                               "Geslo je potrebno zamenjati !"};
inline constexpr TMessage ecPasswordConfirmDiffers{
    "ecPasswordConfirmDiffers", "Novo geslo in potrditev gesla sta različni !"};
inline constexpr TMessage ecPasswordUnchanged{"ecPasswordUnchanged",
                                              "Staro in novo geslo sta enaka !"};
// USR.Gsl holds the Base64 text of at most 18 Windows-1250 characters.
inline constexpr TMessage ecPasswordTooLong{"ecPasswordTooLong",
                                            "Geslo je daljše od %s znakov !"};
inline constexpr TMessage ecPasswordCharacter{
    "ecPasswordCharacter", "Geslo vsebuje znak, ki ga ni mogoče shraniti !"};

// zorasctl demo
inline constexpr TMessage ecDemoDatabaseExists{
    "ecDemoDatabaseExists",
    "The database %s exists already; the demo needs a new one (remove the file first). "
    "Nothing was changed"};
inline constexpr TMessage ecDemoFolderFailed{"ecDemoFolderFailed",
                                             "Cannot create the demo folder %s: %s"};
inline constexpr TMessage ecDemoFileFailed{"ecDemoFileFailed", "Cannot write %s"};
inline constexpr TMessage ecDemoDataFailed{"ecDemoDataFailed",
                                           "The demo data failed, nothing was changed: %s"};

}  // namespace msg
}  // namespace zoras
