// Keys of new rows: named counters in the one-row table ID, named generators in GENID,
// and database sequences. The counters are advanced by an optimistic update (read, then
// update only if the value is still the one read), retried up to 100 times, so concurrent
// requests, in this process or another, draw distinct values without locks. Keys are
// drawn within the caller's own transaction handling: none is started here, and inside the
// caller's transaction each attempt runs under a savepoint, so a failed attempt (on
// PostgreSQL any failed statement ends the transaction) leaves that transaction usable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/bodm.h"
#include "db/query.h"

namespace zoras {

// Attempts of one counter update before it fails.
inline constexpr int kIdUpdateAttempts = 100;

class TIDBODM : public TBODM {
 public:
  // The next value of the named key. "IdAct" and "KATOSBID" (letter case ignored) are
  // served by the sequences ACT_IDACT_SEQ and KATOSB_KATOSBID_SEQ; every other name is a
  // column of ID, whose empty value counts as 0. Throws EZoras "Posodabljanje zapisa v
  // tabeli ID - stolpec %s ni uspelo !" after 100 failed attempts, the sequence message
  // of NextSequenceValue, and EZoras "TIDBODM: invalid SQL name '%s'" for a name that is
  // not a plain SQL name (ASCII letters, digits, '_'; it is written into the statement).
  int64_t NextId(std::string_view key);

  // The next value of the sequence table + "_" + column + "_SEQ" (one name empty: the
  // other + "_SEQ"). Throws EZoras "%s: napaka pri sekvenci %s_SEQ. Sporočilo: %s" (the
  // error's class name, the base name, its message) on any failure of the statement, and
  // EZoras "TIDBODM: invalid SQL name '%s'" when the base name is not a plain SQL name.
  int64_t NextSequenceValue(std::string_view table, std::string_view column);

 private:
  TFQuery qID{this, "qID"};
  TFQuery qSequence{this, "qSequence"};
};

class TGENIDBODM : public TBODM {
 public:
  // The next value of a generator ("NETPOO.IDNETPOO"); the first use inserts its row
  // and returns 1. The name is bound as a parameter, never written into the statement.
  // Throws EZoras "Posodabljanje zapisa v tabeli GENID - ključ %s ni uspelo !" after 100
  // failed attempts.
  int64_t NextGenId(std::string_view name);

 private:
  TFQuery qGENID{this, "qGENID"};
};

}  // namespace zoras
