// The connection pool: one per process. It opens connections on short-lived creator
// threads, lends each to one request at a time, takes them back and retires the ones left
// idle too long. Two counting semaphores count what can be lent (AvailableCount) and what
// may still be opened (FreeSlots); PoolLock guards the list.
//
// At rest: AvailableCount + lent items = items in the list, and FreeSlots + items in the
// list = MAXCON. A request that finds nothing idle waits `first_acquire_wait` before one
// more connection is asked for, so a busy pool grows by at most one connection per
// waiting request.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "base/datetime.h"
#include "db/dm.h"

namespace zoras {

// The pool's sizes and times. The start-up code fills them from the boot settings; the
// pool never reads the boot file itself.
struct TPoolOptions {
  // MAXCON: the most connections the pool holds at once.
  int max_connections = 5;
  // MINCON: connections opened at start and kept by the clean-up. With 0 the first
  // connection is closed again once the start hook has run.
  int min_connections = 1;
  // REQTO: how long a request waits for a connection after the first wait.
  std::chrono::milliseconds request_timeout = std::chrono::seconds(10);
  // IDLETO: a connection idle (not lent) for longer than this is closed by the clean-up.
  std::chrono::milliseconds idle_timeout = std::chrono::minutes(10);
  // CLEANUP: time between two clean-up passes.
  std::chrono::milliseconds cleanup_interval = std::chrono::minutes(60);
  // ALIAS: the alias every connection opens (see OpenZorConnection).
  std::string alias;
  // How long a request waits for an idle connection before it asks for a new one.
  std::chrono::milliseconds first_acquire_wait = std::chrono::milliseconds(1000);
  // How long the start and each creator thread wait for a free slot, and how long the
  // clean-up waits to take the count of a connection it closed.
  std::chrono::milliseconds semaphore_wait = std::chrono::milliseconds(1000);
};

// One pooled connection. Destroying the item closes its connection.
struct TPoolItem {
  explicit TPoolItem(std::unique_ptr<TDM> module);

  std::unique_ptr<TDM> dm;
  TDateTime created;    // when it was added to the pool
  TDateTime last_used;  // when it was last lent or given back
  bool in_use = false;  // lent to a request
};

// The ordered list of pooled connections; it owns its items.
class TPoolList {
 public:
  void Add(std::unique_ptr<TPoolItem> item) { items_.push_back(std::move(item)); }
  // Takes item `index` out of the list; the caller closes it by dropping it.
  std::unique_ptr<TPoolItem> Remove(size_t index);
  // The item that owns `module`, or nullptr.
  TPoolItem* Find(const TDM* module) const;
  // The position of `item`, or size() when it is not in the list.
  size_t IndexOf(const TPoolItem* item) const;
  size_t size() const { return items_.size(); }
  TPoolItem& operator[](size_t index) const { return *items_[index]; }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TPoolItem>> items_;
};

// A counting semaphore that also tracks its count, which std::counting_semaphore cannot
// report. The tracked count may run ahead of the real one for the moment a waiter takes
// a count; at rest they agree.
class TPoolSemaphore {
 public:
  explicit TPoolSemaphore(int initial);

  // Takes one count, waiting at most `timeout`. False when none came in that time.
  bool TryAcquireFor(std::chrono::milliseconds timeout);
  void Release();
  int Count() const { return count_.load(); }

 private:
  std::counting_semaphore<> sem_;
  std::atomic<int> count_;
};

// An automatic-reset event: a wait consumes the signal.
class TPoolEvent {
 public:
  void Set();
  // True when the event was signalled within `timeout`, false when the time ran out.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;  // guarded by mutex_
};

// The pool's counts at one moment, for tests and diagnostics.
struct TPoolStats {
  int items = 0;            // connections in the list
  int lent = 0;             // of them lent to requests
  int available_count = 0;  // AvailableCount
  int free_slots = 0;       // FreeSlots
  int creator_threads = 0;  // creator threads that have not finished yet
};

class TPoolManager;

// Opens one connection for the pool and ends. The manager joins it.
class TPoolItemCreatorThread {
 public:
  explicit TPoolItemCreatorThread(TPoolManager* pool);
  ~TPoolItemCreatorThread();  // joins

  bool Done() const { return done_.load(); }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Runs a clean-up pass every `cleanup_interval` until the manager stops it.
class TPoolCleanUpThread {
 public:
  explicit TPoolCleanUpThread(TPoolManager* pool);
  ~TPoolCleanUpThread();  // tells it to stop, signals CleanUpEvent, joins

 private:
  TPoolManager* const pool_;
  std::thread thread_;
};

class TPoolManager {
 public:
  // Starts the clean-up thread; opens nothing yet. `factory` opens each connection (the
  // modules are then named after options.alias as given); without one connections are
  // opened by OpenZorConnection(options.alias).
  explicit TPoolManager(TPoolOptions options, TConnectionFactory factory = nullptr);
  // Stops the clean-up thread, waits for the creator threads and closes every
  // connection, lent or not: no module may still be in use.
  ~TPoolManager();

  TPoolManager(const TPoolManager&) = delete;
  TPoolManager& operator=(const TPoolManager&) = delete;

  // Opens the first connection and runs `start_hook` on it (the process-wide settings
  // are loaded there), then keeps it (MINCON > 0) or closes it (MINCON = 0) and asks for
  // MINCON - 1 more. Throws the opener's or the hook's failure, or EZoras "Internal
  // Error on PoolManager Init !" when no slot is free; the pool is then unchanged.
  void StartPool(const std::function<void(TDM&)>& start_hook = nullptr);

  // Lends a connection for the caller's exclusive use, its call context cleared; give it
  // back with ReleaseConnection. Waits first_acquire_wait, then asks for a new connection
  // and waits request_timeout more; throws EZoras "Strežnik je preobremenjen. Poskusite
  // znova." when none came. A broken connection found on the way is closed, not lent.
  TDM& AcquireConnection();

  // Takes back a lent connection, clearing its call context and rolling back a
  // transaction left open. A module the pool does not own, or one not lent, is ignored;
  // a broken one is closed.
  void ReleaseConnection(TDM& module);

  // Appends a newly opened connection, idle, and counts it as available. The caller has
  // taken a FreeSlots count for it.
  void AddConnection(std::unique_ptr<TPoolItem> item);

  TPoolStats Stats() const;
  const TPoolOptions& Options() const { return options_; }

 private:
  friend class TPoolItemCreatorThread;
  friend class TPoolCleanUpThread;

  std::unique_ptr<TDM> OpenModule();
  void StartCreatorThread();
  void RunCreator();
  void RunCleanUp();
  void CleanUpPass();
  // Marks the first idle item lent and returns it; nullptr when none is idle.
  TPoolItem* TakeIdleItem();
  // Takes a lent item out of the list and frees its slot. Returns it for closing.
  std::unique_ptr<TPoolItem> RemoveLentItem(TPoolItem* item);

  // Constant after construction.
  const TPoolOptions options_;
  const TConnectionFactory factory_;

  // The list and every item's flags and times.
  mutable std::mutex PoolLock;
  TPoolList items_;  // guarded by PoolLock

  TPoolSemaphore AvailableCount;  // one count per idle connection
  TPoolSemaphore FreeSlots;       // one count per connection that may still be opened

  // Wakes the clean-up thread early; signalled only when the manager is released.
  TPoolEvent CleanUpEvent;
  std::atomic<bool> stopping_{false};

  mutable std::mutex creators_mutex_;
  std::list<std::unique_ptr<TPoolItemCreatorThread>> creators_;  // guarded by creators_mutex_

  // Last, so it starts when everything it uses exists.
  std::unique_ptr<TPoolCleanUpThread> cleanup_thread_;
};

}  // namespace zoras
