#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "runtime/error.hpp"
#include "runtime/forwarding_system.hpp"

namespace kbnset::test {

// Forwards to the real system, but the n-th call of one kind of operation fails (counting
// from 1; 0 never fails). Makes every failure point of the loads and the save reachable.
class FaultySystem : public runtime::ForwardingSystem {
  public:
    enum class Op {
        None,
        ChangeDirectory,
        OpenRead,
        Read,
        CreateTemporary,
        Write,
        Commit,
        Replace
    };

    explicit FaultySystem(runtime::System& real) : ForwardingSystem(real) {}

    void failAt(Op op, int n) {
        op_ = op;
        n_ = n;
        seen_ = 0;
    }
    int count(Op op) const { return op == op_ ? seen_ : 0; }

    void changeDirectory(std::string_view path) override {
        hit(Op::ChangeDirectory);
        ForwardingSystem::changeDirectory(path);
    }
    std::unique_ptr<runtime::InputFile> openRead(std::string_view name) override {
        hit(Op::OpenRead);
        return std::make_unique<Input>(*this, ForwardingSystem::openRead(name));
    }
    std::unique_ptr<runtime::OutputFile> createTemporary(std::string_view target) override {
        hit(Op::CreateTemporary);
        return std::make_unique<Output>(*this, ForwardingSystem::createTemporary(target));
    }
    void replace(std::string_view temporary, std::string_view target) override {
        hit(Op::Replace);
        ForwardingSystem::replace(temporary, target);
    }

  private:
    void hit(Op op) {
        if (op != op_) return;
        if (++seen_ == n_) throw runtime::IoError("injected failure");
    }

    class Input : public runtime::InputFile {
      public:
        Input(FaultySystem& owner, std::unique_ptr<runtime::InputFile> real)
            : owner_(owner), real_(std::move(real)) {}
        // One byte at a time, so that a failure can land inside any value.
        std::size_t read(char* buffer, std::size_t size) override {
            owner_.hit(Op::Read);
            return real_->read(buffer, size < 1 ? size : 1);
        }
        runtime::FileIdentity identity() const override { return real_->identity(); }

      private:
        FaultySystem& owner_;
        std::unique_ptr<runtime::InputFile> real_;
    };

    class Output : public runtime::OutputFile {
      public:
        Output(FaultySystem& owner, std::unique_ptr<runtime::OutputFile> real)
            : owner_(owner), real_(std::move(real)) {}
        const std::string& name() const override { return real_->name(); }
        void write(std::string_view bytes) override {
            owner_.hit(Op::Write);
            real_->write(bytes);
        }
        void commit() override {
            owner_.hit(Op::Commit);
            real_->commit();
        }

      private:
        FaultySystem& owner_;
        std::unique_ptr<runtime::OutputFile> real_;
    };

    Op op_ = Op::None;
    int n_ = 0;
    int seen_ = 0;
};

}  // namespace kbnset::test
