#include "db/pool.h"

#include <algorithm>
#include <utility>

#include "base/clock.h"
#include "base/errors.h"
#include "base/messages.h"

namespace zoras {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A creator thread waits for its slot in short steps so that releasing the manager does
// not have to sit out a whole wait.
constexpr milliseconds kCreatorWaitStep{20};

milliseconds Remaining(steady_clock::time_point deadline) {
  const auto left = deadline - steady_clock::now();
  return left.count() > 0 ? std::chrono::duration_cast<milliseconds>(left) : milliseconds(0);
}

}  // namespace

// ---- TPoolItem, TPoolList

TPoolItem::TPoolItem(std::unique_ptr<TDM> module)
    : dm(std::move(module)), created(Now()), last_used(created) {}

std::unique_ptr<TPoolItem> TPoolList::Remove(size_t index) {
  std::unique_ptr<TPoolItem> item = std::move(items_[index]);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  return item;
}

TPoolItem* TPoolList::Find(const TDM* module) const {
  for (const auto& item : items_)
    if (item->dm.get() == module) return item.get();
  return nullptr;
}

size_t TPoolList::IndexOf(const TPoolItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return i;
  return items_.size();
}

// ---- TPoolSemaphore, TPoolEvent

TPoolSemaphore::TPoolSemaphore(int initial)
    : sem_(std::max(initial, 0)), count_(std::max(initial, 0)) {}

bool TPoolSemaphore::TryAcquireFor(milliseconds timeout) {
  if (!sem_.try_acquire_for(timeout)) return false;
  count_.fetch_sub(1);
  return true;
}

void TPoolSemaphore::Release() {
  count_.fetch_add(1);
  sem_.release();
}

void TPoolEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

bool TPoolEvent::WaitFor(milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

// ---- Threads

TPoolItemCreatorThread::TPoolItemCreatorThread(TPoolManager* pool)
    : thread_([this, pool] {
        pool->RunCreator();
        done_.store(true);
      }) {}

TPoolItemCreatorThread::~TPoolItemCreatorThread() { thread_.join(); }

TPoolCleanUpThread::TPoolCleanUpThread(TPoolManager* pool)
    : pool_(pool), thread_([pool] { pool->RunCleanUp(); }) {}

TPoolCleanUpThread::~TPoolCleanUpThread() {
  pool_->stopping_.store(true);
  pool_->CleanUpEvent.Set();
  thread_.join();
}

// ---- TPoolManager

TPoolManager::TPoolManager(TPoolOptions options, TConnectionFactory factory)
    : options_(std::move(options)),
      factory_(std::move(factory)),
      AvailableCount(0),
      FreeSlots(options_.max_connections),
      cleanup_thread_(std::make_unique<TPoolCleanUpThread>(this)) {}

TPoolManager::~TPoolManager() {
  cleanup_thread_.reset();  // sets stopping_ first, so no creator starts after this
  std::list<std::unique_ptr<TPoolItemCreatorThread>> creators;
  {
    std::lock_guard<std::mutex> lock(creators_mutex_);
    creators.swap(creators_);
  }
  creators.clear();  // joins them; each gives up its wait within kCreatorWaitStep
  std::lock_guard<std::mutex> lock(PoolLock);
  items_.Clear();
}

std::unique_ptr<TDM> TPoolManager::OpenModule() {
  if (!factory_) return TDM::Open(options_.alias);
  std::unique_ptr<TDbConnection> connection = factory_();
  if (connection == nullptr) throw EZoras(Msg(msg::ecInternalError));
  return std::make_unique<TDM>(std::move(connection), options_.alias);
}

void TPoolManager::StartPool(const std::function<void(TDM&)>& start_hook) {
  auto first = std::make_unique<TPoolItem>(OpenModule());
  // The hook runs before the connection is in the list, so no request can be lent it
  // while the process-wide settings are still loading.
  if (start_hook) start_hook(*first->dm);
  if (options_.min_connections == 0) return;  // `first` closes here; the pool starts empty
  if (!FreeSlots.TryAcquireFor(options_.semaphore_wait))
    throw EZoras(Msg(msg::ecInternalErrorPoolManagerInit));
  AddConnection(std::move(first));
  for (int i = 1; i < options_.min_connections; ++i) StartCreatorThread();
}

void TPoolManager::AddConnection(std::unique_ptr<TPoolItem> item) {
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    item->in_use = false;
    item->created = item->last_used = Now();
    items_.Add(std::move(item));
  }
  AvailableCount.Release();
}

TPoolItem* TPoolManager::TakeIdleItem() {
  std::lock_guard<std::mutex> lock(PoolLock);
  for (size_t i = 0; i < items_.size(); ++i) {
    TPoolItem& item = items_[i];
    if (item.in_use) continue;
    item.last_used = Now();
    item.in_use = true;
    return &item;
  }
  return nullptr;
}

std::unique_ptr<TPoolItem> TPoolManager::RemoveLentItem(TPoolItem* item) {
  std::unique_ptr<TPoolItem> removed;
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    removed = items_.Remove(items_.IndexOf(item));
  }
  // The item was lent, so AvailableCount holds no count for it: only its slot comes back.
  FreeSlots.Release();
  return removed;
}

TDM& TPoolManager::AcquireConnection() {
  const auto deadline =
      steady_clock::now() + options_.first_acquire_wait + options_.request_timeout;
  bool counted = AvailableCount.TryAcquireFor(options_.first_acquire_wait);
  if (!counted) {
    StartCreatorThread();
    counted = AvailableCount.TryAcquireFor(options_.request_timeout);
  }
  for (;;) {
    if (!counted) throw EZoras(Msg(msg::ecServerError));
    TPoolItem* item = TakeIdleItem();
    // The count stood for a connection the clean-up has closed meanwhile.
    if (item == nullptr) throw EZoras(Msg(msg::ecServerError));
    // Checked outside PoolLock: the item is marked lent, so it is this thread's alone.
    if (item->dm->dbZor().IsAlive()) {
      item->dm->ClearCallContext();
      return *item->dm;
    }
    RemoveLentItem(item).reset();
    StartCreatorThread();
    counted = AvailableCount.TryAcquireFor(Remaining(deadline));
  }
}

void TPoolManager::ReleaseConnection(TDM& module) {
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    const TPoolItem* item = items_.Find(&module);
    // A second give-back must not add a second count.
    if (item == nullptr || !item->in_use) return;
  }
  // The module is still marked lent, so only this thread touches it here.
  module.ClearCallContext();
  bool alive = module.dbZor().IsAlive();
  if (alive && module.dbZor().InTransaction()) {
    // Work a request did not commit must not reach the next request's transaction.
    try {
      module.dbZor().Rollback();
    } catch (const std::exception&) {
      alive = false;
    }
  }
  TPoolItem* item = nullptr;
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    item = items_.Find(&module);
    if (alive) {
      item->last_used = Now();
      item->in_use = false;
    }
  }
  if (alive) {
    AvailableCount.Release();
    return;
  }
  RemoveLentItem(item).reset();
  bool refill = false;
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    refill = static_cast<int>(items_.size()) < options_.min_connections;
  }
  if (refill) StartCreatorThread();
}

void TPoolManager::StartCreatorThread() {
  std::lock_guard<std::mutex> lock(creators_mutex_);
  if (stopping_.load()) return;
  creators_.remove_if([](const auto& creator) { return creator->Done(); });
  creators_.push_back(std::make_unique<TPoolItemCreatorThread>(this));
}

void TPoolManager::RunCreator() {
  const auto deadline = steady_clock::now() + options_.semaphore_wait;
  bool slot = false;
  do {
    if (stopping_.load()) return;
    slot = FreeSlots.TryAcquireFor(std::min(kCreatorWaitStep, Remaining(deadline)));
  } while (!slot && Remaining(deadline).count() > 0);
  if (!slot) return;  // the pool already holds MAXCON connections
  if (stopping_.load()) {
    FreeSlots.Release();
    return;
  }
  try {
    AddConnection(std::make_unique<TPoolItem>(OpenModule()));
  } catch (...) {
    // Not reported: the waiting request runs into its time-out instead.
    FreeSlots.Release();
  }
}

void TPoolManager::RunCleanUp() {
  for (;;) {
    if (CleanUpEvent.WaitFor(options_.cleanup_interval) || stopping_.load()) return;
    try {
      CleanUpPass();
    } catch (...) {
      // The next pass tries again.
    }
  }
}

void TPoolManager::CleanUpPass() {
  std::vector<std::unique_ptr<TPoolItem>> retired;
  int items = 0;
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    const int64_t now = Now().Ms();
    for (size_t i = 0; i < items_.size();) {
      const TPoolItem& item = items_[i];
      if (item.in_use || now - item.last_used.Ms() <= options_.idle_timeout.count()) {
        ++i;
        continue;
      }
      retired.push_back(items_.Remove(i));
      FreeSlots.Release();
      // The one wait under PoolLock. It fails only when a request has just taken this
      // item's count; that request then finds no idle item and fails.
      AvailableCount.TryAcquireFor(options_.semaphore_wait);
    }
    items = static_cast<int>(items_.size());
  }
  retired.clear();  // closes the connections, outside PoolLock
  // The walk ignores MINCON; the pool then grows back to it, so a quiet server still
  // answers its next request without the first wait.
  for (int n = items; n < options_.min_connections; ++n) StartCreatorThread();
}

TPoolStats TPoolManager::Stats() const {
  TPoolStats stats;
  {
    std::lock_guard<std::mutex> lock(PoolLock);
    stats.items = static_cast<int>(items_.size());
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].in_use) ++stats.lent;
    stats.available_count = AvailableCount.Count();
    stats.free_slots = FreeSlots.Count();
  }
  std::lock_guard<std::mutex> lock(creators_mutex_);
  for (const auto& creator : creators_)
    if (!creator->Done()) ++stats.creator_threads;
  return stats;
}

}  // namespace zoras
