#include "port/locked_port.h"

#include <algorithm>
#include <utility>

namespace velwin::xchanger {

LockedPort::LockedPort(std::string description, Keys keys, std::filesystem::path lockFolder,
                       Opener open)
    : description_(std::move(description)),
      keys_(std::move(keys)),
      lockFolder_(std::move(lockFolder)),
      open_(std::move(open)) {}

LockedPort::~LockedPort() {
  // The simulated cart writes its files back before another velwin may
  // read them.
  inner_.reset();
  locks_.clear();
}

bool LockedPort::Reserve(std::string& why) {
  refused_ = false;
  inUse_ = false;
  if (inner_ && held_)
    return true;
  if (!held_) {
    for (const std::string& key : keys_()) {
      PortLock lock;
      long holder = 0;
      const PortLock::Outcome outcome = lock.Take(key, lockFolder_, holder);
      if (outcome == PortLock::Outcome::kBusy) {
        locks_.clear();
        why = PortInUseText(description_, holder);
        inUse_ = true;
        refused_ = true;
        return false;
      }
      // Where no lock file can be made at all the job goes on unlocked, as
      // before there were locks: refusing would leave the port unusable.
      if (outcome == PortLock::Outcome::kTaken)
        locks_.push_back(std::move(lock));
    }
    held_ = true;
  }
  if (!inner_) {
    inner_ = open_(why);
    if (!inner_) {
      locks_.clear();
      held_ = false;
      refused_ = true;
      return false;
    }
  }
  return true;
}

PortBackend* LockedPort::Ready() {
  if (inner_ && held_)
    return inner_.get();
  if (refused_ || !Reserve(refusal_))
    return nullptr;
  return inner_.get();
}

void LockedPort::PortWrite(std::uint16_t port, std::uint8_t value) {
  if (PortBackend* inner = Ready())
    inner->PortWrite(port, value);
}

std::uint8_t LockedPort::PortRead(std::uint16_t port) {
  PortBackend* inner = Ready();
  return inner != nullptr ? inner->PortRead(port) : 0xFF;
}

void LockedPort::PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) {
  if (PortBackend* inner = Ready())
    return inner->PortReadRun(port, data);
  std::fill(data.begin(), data.end(), std::uint8_t{0xFF});
}

void LockedPort::PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) {
  if (PortBackend* inner = Ready())
    inner->PortWriteRun(port, data);
}

std::uint16_t LockedPort::ReadLptBase(int n) {
  refused_ = false;
  PortBackend* inner = Ready();
  return inner != nullptr ? inner->ReadLptBase(n) : 0;
}

bool LockedPort::Flush(std::string& error) {
  return inner_ ? inner_->Flush(error) : true;
}

void LockedPort::Idle() {
  if (inner_) {
    inner_->Idle();
    inner_.reset();
  }
  locks_.clear();
  held_ = false;
  refused_ = false;
}

}  // namespace velwin::xchanger
