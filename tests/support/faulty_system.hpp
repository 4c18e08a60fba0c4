#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/error.hpp"
#include "runtime/forwarding_system.hpp"

namespace kbnset::test {

// The real files, but the n-th call of one kind of operation fails (counting from 1; 0 never
// fails), and the settings store answers from `settings` ("application/section/key" to value)
// so that no test depends on the store of the user who runs it.
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
        Check,  // the replace's look at the file it took away
        Replace
    };

    explicit FaultySystem(runtime::System& real) : ForwardingSystem(real) {}

    // With `file`, only calls on a file or folder of that name count: a run reads and writes
    // several, and a test names the one it breaks.
    void failAt(Op op, int n, std::string file = "") {
        failure_ = {op, n, std::move(file)};
        seen_ = 0;
    }

    void changeDirectory(std::string_view path) override {
        hit(Op::ChangeDirectory, path);
        ForwardingSystem::changeDirectory(path);
    }
    std::unique_ptr<runtime::InputFile> openRead(std::string_view name) override {
        hit(Op::OpenRead, name);
        return std::make_unique<Input>(*this, ForwardingSystem::openRead(name), name);
    }
    std::unique_ptr<runtime::OutputFile> createTemporary(std::string_view target) override {
        hit(Op::CreateTemporary, target);
        return std::make_unique<Output>(*this, ForwardingSystem::createTemporary(target), target);
    }
    void replace(std::string_view temporary, std::string_view target, std::string_view backup,
                 const runtime::ReplaceCheck& check) override {
        hit(Op::Replace, target);
        if (!check) return ForwardingSystem::replace(temporary, target, backup, check);
        ForwardingSystem::replace(temporary, target, backup, [&](runtime::InputFile& replaced) {
            hit(Op::Check, target);
            return check(replaced);
        });
    }
    std::string readSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view fallback) override {
        auto it = settings.find(std::string(application) + "/" + std::string(section) + "/" +
                                std::string(key));
        return it == settings.end() ? std::string(fallback) : it->second;
    }

    std::map<std::string, std::string> settings;

  private:
    void hit(Op op, std::string_view name) {
        const bool named =
            failure_.file.empty() || name.substr(name.find_last_of("/\\") + 1) == failure_.file;
        if (op == failure_.op && named && ++seen_ == failure_.n)
            throw runtime::IoError("injected failure", name, 0);
    }

    // The opened files count their calls too; one byte per read, so that a failure can land
    // inside any value.
    class Input : public runtime::InputFile {
      public:
        Input(FaultySystem& owner, std::unique_ptr<runtime::InputFile> real, std::string_view name)
            : owner_(owner), real_(std::move(real)), name_(name) {}
        std::size_t read(char* buffer, std::size_t size) override {
            owner_.hit(Op::Read, name_);
            return real_->read(buffer, size < 1 ? size : 1);
        }
        runtime::FileIdentity identity() const override { return real_->identity(); }

      private:
        FaultySystem& owner_;
        std::unique_ptr<runtime::InputFile> real_;
        std::string name_;
    };
    class Output : public runtime::OutputFile {
      public:
        Output(FaultySystem& owner, std::unique_ptr<runtime::OutputFile> real,
               std::string_view target)
            : owner_(owner), real_(std::move(real)), target_(target) {}
        const std::string& name() const override { return real_->name(); }
        void write(std::string_view bytes) override {
            owner_.hit(Op::Write, target_);
            real_->write(bytes);
        }
        void commit() override {
            owner_.hit(Op::Commit, target_);
            real_->commit();
        }

      private:
        FaultySystem& owner_;
        std::unique_ptr<runtime::OutputFile> real_;
        std::string target_;
    };

    struct Failure {
        Op op = Op::None;
        int n = 0;
        std::string file;
    } failure_;
    int seen_ = 0;
};

}  // namespace kbnset::test
