// The top of the station window: the image being written (file, model, the SHA-256's short form
// with the whole on hover and in a line of its own, the blocks), the report file, the operator
// and the work order when they were given.
#pragma once

#include "station_desk.h"

#include <QWidget>

class QGridLayout;
class QLabel;

namespace knot::qt {
using namespace knot::station;

class CStationHeaderPanel : public QWidget {
    Q_OBJECT

  public:
    explicit CStationHeaderPanel(QWidget* parent);
    void ShowHeader(const StationHeader& header);

  private:
    // A caption and its value, together at `row`, `column` of the grid; the value is returned.
    QLabel* AddField(QGridLayout* grid, int row, int column, const char* caption, const char* name);
    // The value's text; a field with none is hidden, caption and all.
    static void ShowField(QLabel* value, const std::string& text);

    QLabel* m_image = nullptr;
    QLabel* m_model = nullptr;
    QLabel* m_shortSha = nullptr;
    QLabel* m_blocks = nullptr;
    QLabel* m_report = nullptr;
    QLabel* m_operator = nullptr;
    QLabel* m_workOrder = nullptr;
    QLabel* m_digest = nullptr;
};

} // namespace knot::qt
