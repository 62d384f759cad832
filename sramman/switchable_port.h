#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "port/port_backend.h"

namespace velwin::sramman {

// The SRAM manager's port, which the user may change while the window is
// open: the link and the card commands keep this one object, and every
// access goes to the port chosen last. Replacing the port closes the one
// before, which lets go of its device and its locks.
class SwitchablePort final : public xchanger::PortBackend {
 public:
  explicit SwitchablePort(std::unique_ptr<xchanger::PortBackend> port) : inner_(std::move(port)) {}

  // The port from now on; the one before is closed first, so that the new
  // one may be the same device.
  void Replace(std::unique_ptr<xchanger::PortBackend> port) {
    inner_.reset();
    inner_ = std::move(port);
  }

  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    inner_->PortWrite(port, value);
  }
  std::uint8_t PortRead(std::uint16_t port) override { return inner_->PortRead(port); }
  std::uint16_t ReadLptBase(int n) override { return inner_->ReadLptBase(n); }
  void PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) override {
    inner_->PortReadRun(port, data);
  }
  void PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) override {
    inner_->PortWriteRun(port, data);
  }
  bool TakesRuns() const override { return inner_->TakesRuns(); }
  bool Flush(std::string& error) override { return inner_->Flush(error); }
  void Idle() override { inner_->Idle(); }
  bool Reserve(std::string& why) override { return inner_->Reserve(why); }
  xchanger::ChipClock& Clock() override { return clock_; }
  bool KeepsOwnTime() const override { return inner_->KeepsOwnTime(); }
  void EndJob() override { inner_->EndJob(); }
  xchanger::PortPath Path() const override { return inner_->Path(); }

 private:
  // The chosen port's clock; one object for those that keep it.
  class ForwardingClock final : public xchanger::ChipClock {
   public:
    explicit ForwardingClock(SwitchablePort& owner) : owner_(owner) {}
    std::uint64_t NowMicroseconds() override { return owner_.inner_->Clock().NowMicroseconds(); }
    std::uint64_t NowNanoseconds() override { return owner_.inner_->Clock().NowNanoseconds(); }
    void WaitMicroseconds(std::uint64_t us) override {
      owner_.inner_->Clock().WaitMicroseconds(us);
    }

   private:
    SwitchablePort& owner_;
  };

  std::unique_ptr<xchanger::PortBackend> inner_;
  ForwardingClock clock_{*this};
};

}  // namespace velwin::sramman
