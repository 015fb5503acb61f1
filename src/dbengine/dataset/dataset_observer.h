#pragma once

namespace orn::db {

class Query;

enum class DatasetEvent {
    Opened,  // new fields and rows
    Closed,
    Scrolled,       // the current record moved
    RecordChanged,  // the current record's values or state changed (edit, insert, post, cancel)
    DataChanged,    // anything may have changed: redraw everything (sent after enableControls)
};

// What a view of a query (a grid, a navigator, a status bar) is told. While the query's controls
// are disabled nothing is sent; enabling them sends one DataChanged.
class DatasetObserver {
  public:
    virtual ~DatasetObserver() = default;
    virtual void datasetEvent(Query& query, DatasetEvent event) = 0;
};

}  // namespace orn::db
