// TBODM: the base of the business data modules. A module is a class derived from TBODM
// whose statement components (TFQuery, TFilter members constructed with the module as
// owner) run on one connection: borrowed from the pool and owned, or shared with the
// request's other modules.
//
//   class TUSRBODM : public TBODM {
//     TFQuery qUSR{this, "qUSR"};
//     ...
//   };
//   auto session = TBODM::CreateFromPool<TSESBODM>(pool);                  // owns
//   auto users = TBODM::CreateOnConnection<TUSRBODM>(*session->Connection());  // shares
//
// A module created on another module's connection must be destroyed before that module.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/dm.h"
#include "db/pool.h"

namespace zoras {

class TSqlDataSet;

class TBODM {
 public:
  // Gives the connection back to its pool when the module owns it (call context cleared
  // first); otherwise only drops the reference.
  virtual ~TBODM();

  TBODM(const TBODM&) = delete;
  TBODM& operator=(const TBODM&) = delete;

  // Creates a T (its constructor runs without a connection) that borrows a connection
  // from `pool` and owns it; the connection's call context is cleared. Throws the pool's
  // "Strežnik je preobremenjen. Poskusite znova." and then gives nothing back.
  template <class T, class... Args>
  static std::unique_ptr<T> CreateFromPool(TPoolManager& pool, Args&&... args) {
    auto module = std::make_unique<T>(std::forward<Args>(args)...);
    TBODM& base = *module;
    base.owns_connection_ = true;
    TDM& connection = pool.AcquireConnection();
    base.pool_ = &pool;
    base.BindConnection(&connection);
    connection.ClearCallContext();
    base.events_enabled_ = true;
    return module;
  }

  // Creates a T that works on `connection` without owning it; the call context stays.
  template <class T, class... Args>
  static std::unique_ptr<T> CreateOnConnection(TDM& connection, Args&&... args) {
    auto module = std::make_unique<T>(std::forward<Args>(args)...);
    TBODM& base = *module;
    base.owns_connection_ = false;
    base.BindConnection(&connection);
    base.events_enabled_ = true;
    return module;
  }

  // Sets Connection and rebinds every statement component, in the order they were
  // constructed; null unbinds them. Used for modules created without a connection.
  void BindConnection(TDM* connection);
  // The connection the statements run on, or nullptr.
  TDM* Connection() const { return connection_; }
  // As Connection(); throws EZoras "TBODM: no database connection" when there is none.
  TDM& RequireConnection() const;
  bool OwnsConnection() const { return owns_connection_; }

  // Suspend and resume the field-calculation handlers (bulk work).
  void DisableEvents() { events_enabled_ = false; }
  void EnableEvents() { events_enabled_ = true; }
  bool EventsEnabled() const { return events_enabled_; }

  // The module's statement components, in construction order.
  const std::vector<TSqlDataSet*>& Components() const { return components_; }

  // A result as a data packet: opens `dataset`, moves forward (page - 1) * packet_records
  // rows when packet_records > 0, and returns DataSetToPacket(result, packet_records)
  // (-1: every row). Throws what Open throws.
  static std::string ProvidePacket(TSqlDataSet& dataset, int packet_records = -1, int page = 1);

 protected:
  TBODM() = default;

 private:
  friend class TSqlDataSet;
  void AddComponent(TSqlDataSet* component) { components_.push_back(component); }
  void RemoveComponent(TSqlDataSet* component);

  TPoolManager* pool_ = nullptr;  // set when the connection is owned
  TDM* connection_ = nullptr;
  bool owns_connection_ = false;
  bool events_enabled_ = true;
  std::vector<TSqlDataSet*> components_;
};

}  // namespace zoras
