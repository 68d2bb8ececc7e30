#pragma once
#include "ftp/TSocketOptions.h"

#include <QString>
#include <QStringList>

// The Testing page's line on what the test's connections carried and what
// the data connection did.
namespace TConnectionReadout {

// At Start: the settings the connections carry (nullptr: this computer's
// own), and where Linux will not take them as asked.
QString AtStart(const TSocketOptions* applied, const QStringList& notes);

// When the download has ended: the data connection's figures, the test's
// throughput (bytes a second), the settings it carried (nullptr: none) and
// what was noted of them.
QString AtEnd(const TConnectionFigures& figures, int throughput, const TSocketOptions* applied,
              const QStringList& notes);

// The least window that fills a link of this throughput and round trip:
// whole segments of the given payload; 0 when a figure is missing.
int FillingSegments(int throughput, uint32_t minRttUs, uint32_t segment);

} // namespace TConnectionReadout
