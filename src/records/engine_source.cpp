#include "records/engine_source.h"

#include <chrono>

namespace records {

namespace {

// The first batch is small, so that the first records show at once; the
// rest are larger, and none waits long for the records behind it.
constexpr size_t kFirstBatch = 100;
constexpr size_t kBatch = 2000;
constexpr auto kMostWait = std::chrono::milliseconds(100);

class StreamSource : public Source {
public:
    explicit StreamSource(std::unique_ptr<ports::DBEngine> engine) : engine_(std::move(engine)) {}

    void Read(const std::string& path, const LayoutSink& layout, const BatchSink& batch) override {
        Give(path, nullptr, layout, batch);
    }
    void Find(const std::string& path, const std::string& text, const LayoutSink& layout,
              const BatchSink& batch) override {
        Give(path, &text, layout, batch);
    }

private:
    void Give(const std::string& path, const std::string* text, const LayoutSink& layout, const BatchSink& batch) {
        std::unique_ptr<ports::Database> db = engine_->OpenDatabase(path);
        std::unique_ptr<ports::RowStream> stream =
            text ? db->FindRecords(kContactsTable, *text) : db->OpenTable(kContactsTable);
        Source::Layout given;
        for (const ports::ColumnInfo& column : stream->Columns()) given.columns.push_back({column.name, KindOf(column.type)});
        given.primaryKey = stream->PrimaryKey();
        given.storedCount = stream->StoredCount();
        layout(std::move(given));

        std::vector<Record> pending;
        Record row;
        size_t wanted = kFirstBatch;
        auto since = std::chrono::steady_clock::now();
        bool more = true;
        while (more) {
            more = stream->Next(row);
            if (more) pending.push_back(std::move(row));
            const auto now = std::chrono::steady_clock::now();
            if (!pending.empty() && (!more || pending.size() >= wanted || now - since >= kMostWait)) {
                if (!batch(pending)) break;
                pending.clear();
                wanted = kBatch;
                since = now;
            }
        }
        db->Close();
    }

    std::unique_ptr<ports::DBEngine> engine_;
};

}  // namespace

Kind KindOf(ports::ColumnType type) {
    using T = ports::ColumnType;
    switch (type) {
        case T::YesNo: return Kind::YesNo;
        case T::Byte:
        case T::Integer:
        case T::Long: return Kind::Integer;
        case T::Currency: return Kind::Currency;
        case T::Single:
        case T::Double:
        case T::Decimal: return Kind::Floating;
        case T::DateTime: return Kind::DateTime;
        case T::Text:
        case T::Memo: return Kind::Text;
        case T::Binary:
        case T::OLE: return Kind::Bytes;
        default: return Kind::Other;
    }
}

std::unique_ptr<Source> EngineSource(std::unique_ptr<ports::DBEngine> engine) {
    return std::make_unique<StreamSource>(std::move(engine));
}

SourceFactory EngineSources(std::function<std::unique_ptr<ports::DBEngine>()> makeEngine) {
    return [makeEngine = std::move(makeEngine)] { return EngineSource(makeEngine()); };
}

}  // namespace records
