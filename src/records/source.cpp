#include <iterator>

#include "records/source.h"

namespace records {

Table ReadTable(Source& source, const std::string& path, const std::function<bool()>& stopped) {
    Table table;
    source.Read(
        path,
        [&](Source::Layout layout) {
            table.columns = std::move(layout.columns);
            table.primaryKey = std::move(layout.primaryKey);
            table.storedCount = layout.storedCount;
        },
        [&](std::vector<Record>& batch) {
            std::move(batch.begin(), batch.end(), std::back_inserter(table.records));
            return !(stopped && stopped());
        });
    return table;
}

}  // namespace records
