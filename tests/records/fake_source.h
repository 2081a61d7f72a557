// Sources of records for tests: tables in memory, by path, given in
// batches; a table can be made to fail part of the way through, and the
// batches after the first can be held back until the test lets each go.
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <semaphore>

#include "records/filter.h"
#include "records/source.h"
#include "vb/error.h"

namespace fakes {

struct FakeRecords {
    std::map<std::string, records::Table> tables;
    // A path's table fails (3343) once this many records have been given.
    std::map<std::string, size_t> failAfter;
    // The count a path's table definition holds, where it differs from its records.
    std::map<std::string, uint64_t> storedCount;
    // Why a path that fails is damaged, as the reader would say.
    std::map<std::string, std::string> failDetail;
    size_t batch = 50;
    // With holding set, each batch after the first waits for a release.
    bool holding = false;
    std::counting_semaphore<1 << 20> gate{0};
    std::atomic<int> sources{0};

    records::SourceFactory Factory() {
        return [this]() -> std::unique_ptr<records::Source> {
            ++sources;
            return std::make_unique<Source>(*this);
        };
    }

    class Source : public records::Source {
    public:
        explicit Source(FakeRecords& data) : data_(data) {}
        void Read(const std::string& path, const LayoutSink& layout, const BatchSink& batch) override {
            Give(path, {}, layout, batch);
        }
        void Find(const std::string& path, const std::string& text, const LayoutSink& layout,
                  const BatchSink& batch) override {
            Give(path, text, layout, batch);
        }

    private:
        void Give(const std::string& path, const std::optional<std::string>& text, const LayoutSink& layout,
                  const BatchSink& batch) {
            const auto table = data_.tables.find(path);
            if (table == data_.tables.end()) throw vb::Error(3024, "Could not find file '" + path + "'.");
            const auto stored = data_.storedCount.find(path);
            layout({table->second.columns, table->second.primaryKey,
                    stored != data_.storedCount.end() ? stored->second : table->second.records.size()});
            const auto fail = data_.failAfter.find(path);
            const records::Finder finder(text.value_or(""));
            std::vector<records::Record> pending;
            size_t given = 0;
            bool first = true;
            const auto hand = [&] {
                if (!first && data_.holding) data_.gate.acquire();
                first = false;
                return batch(pending);
            };
            for (const records::Record& record : table->second.records) {
                if (fail != data_.failAfter.end() && given == fail->second) Fail(path);
                ++given;
                if (!finder.InRecord(table->second.columns, record)) continue;
                pending.push_back(record);
                if (pending.size() == data_.batch) {
                    if (!hand()) return;
                    pending.clear();
                }
            }
            if (fail != data_.failAfter.end() && given == fail->second) Fail(path);
            if (!pending.empty()) hand();
        }
        [[noreturn]] void Fail(const std::string& path) {
            vb::Error error(3343, "Unrecognized database format '" + path + "'.");
            if (data_.failDetail.count(path)) error.WithDetail(data_.failDetail.at(path));
            throw error;
        }
        FakeRecords& data_;
    };
};

}  // namespace fakes
