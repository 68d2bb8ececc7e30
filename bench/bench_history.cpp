// History file figures: loading and saving a hist.dat of 100,000 records
// (38 MB) through the program's own code, beside a plain read and a plain
// write of the same bytes. The save's final fsync is shown on its own line,
// since it measures the disk rather than the program. Then the Analysis page
// over 10,000 and 100,000 records.
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "history/TAnalysisPage.h"
#include "history/THistory.h"
#include "history/THistoryFile.h"
#include "history/THistoryPage.h"
#include "history/TThroughputChart.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Records = 100000;
constexpr int Rounds = 5;

double Ms(qint64 ns) {
    return double(ns) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

HistoryRecord BenchRecord(int i) {
    HistoryRecord r;
    r.SetEntryName(QStringLiteral("08 Dec 2026 09:%1:%2").arg(i / 60 % 60).arg(i % 60));
    r.SetProfile(QStringLiteral("0000"));
    r.SetMaxMTU(QStringLiteral("576"));
    r.SetRWIN(QStringLiteral("2144"));
    r.SetTTL(QStringLiteral("64"));
    r.SetMSS(QStringLiteral("536"));
    r.SetThroughput(3000 + i % 900);
    r.SetComment(QStringLiteral("Benchmark record %1 with a comment of ordinary length").arg(i));
    return r;
}

// The Analysis page over n records, labels off as at the first showing: the
// page shown (the chart rebuilt from the history and painted), then repaints
// alone, beside a plain fill of one rectangle per point of the same array.
void AnalysisFigures(TParameterSet& parameters, int n) {
    {
        THistory history(parameters);
        for (int i = 0; i < n; ++i)
            history.AppendHistoryRecord(BenchRecord(i));
        THistoryFile(history).SaveHistory();
    }
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))
        ->setCurrentWidget(frm.tabshtAnalysis());
    QApplication::processEvents(); // the page's layout, and its first paint
    auto* chart = frm.findChild<TThroughputChart*>(QStringLiteral("Chart"));
    chart->repaint();
    const double shown = Ms(t.nsecsElapsed());
    std::vector<double> paint, plain;
    QImage image(chart->size(), QImage::Format_RGB32);
    for (int round = 0; round < Rounds; ++round) {
        t.start();
        chart->repaint();
        paint.push_back(Ms(t.nsecsElapsed()));
        t.start();
        QPainter p(&image);
        const double w = double(image.width()) / n;
        const auto& points = chart->Points();
        for (size_t i = 0; i < points.size(); ++i)
            p.fillRect(QRectF(double(i) * w, 0, w, points[i].Value / 20), points[i].Color);
        p.end();
        plain.push_back(Ms(t.nsecsElapsed()));
    }
    std::printf("Analysis page with %d records (chart %dx%d), labels off\n", n, chart->width(),
                chart->height());
    std::printf("  %-40s %8.1f ms\n", "page shown: rebuilt and painted", shown);
    std::printf("  %-40s %8.1f ms   (plain fill of the points: %6.1f ms)\n", "repaint",
                Median(paint), Median(plain));
    data.History.Clear(); // nothing to write back
}

// Start-up's questions (no pppd here, say) are answered, never waited for.
class TAnswerAll : public TDialogService {
public:
    int MessageDlg(const QString&, TMsgDlgType, TMsgDlgButtons b) override {
        return b == TMsgDlgButtons::mbYesNo ? mrYes : mrOk;
    }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
};

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TAnswerAll answers;
    SetDialogService(&answers);
    QTemporaryDir dir;
    qputenv("ZEPHYN_HOME", QFile::encodeName(dir.path()));

    TParameterSet parameters;
    THistory history(parameters);
    for (int i = 0; i < Records; ++i)
        history.AppendHistoryRecord(BenchRecord(i));
    THistoryFile file(history);

    std::vector<double> save, sync, load, plainRead, plainWrite;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer t;
        file.SaveHistory();
        save.push_back(Ms(file.LastSaveTimes.WriteNs + file.LastSaveTimes.CommitNs));
        sync.push_back(Ms(file.LastSaveTimes.SyncNs));

        THistory loaded(parameters);
        THistoryFile reader(loaded);
        t.start();
        reader.LoadHistory();
        load.push_back(Ms(t.nsecsElapsed()));
        if (loaded.Count() != Records) {
            std::fprintf(stderr, "loaded %d records, expected %d\n", loaded.Count(), Records);
            return 1;
        }

        QFile plain(file.FileName());
        t.start();
        plain.open(QIODevice::ReadOnly);
        const QByteArray bytes = plain.readAll();
        plain.close();
        plainRead.push_back(Ms(t.nsecsElapsed()));

        const QByteArray copy = QFile::encodeName(dir.path() + QStringLiteral("/plain.dat"));
        t.start();
        const int fd = ::open(copy.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), bytes.size()) != bytes.size())
            return 1;
        plainWrite.push_back(Ms(t.nsecsElapsed()));
        ::close(fd);
    }

    std::printf("hist.dat of %d records (%.1f MB), median of %d rounds\n", Records,
                Records * 384 / 1e6, Rounds);
    std::printf("  %-40s %8.1f ms   (plain read of the file:  %6.1f ms)\n", "load (LoadHistory)",
                Median(load), Median(plainRead));
    std::printf("  %-40s %8.1f ms   (plain write of the bytes: %6.1f ms)\n",
                "save: encode, write, rename (SaveHistory)", Median(save), Median(plainWrite));
    std::printf("  %-40s %8.1f ms\n", "save: final fsync", Median(sync));

    // The History page over the same 100,000 records: the list is a view of
    // the array, so showing, selecting all and scrolling cost no copy.
    {
        QElapsedTimer t;
        t.start();
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))
            ->setCurrentWidget(frm.tabshtHistory());
        QApplication::processEvents();
        const double shown = Ms(t.nsecsElapsed());
        QTreeView* list = frm.tabshtHistory()->findChild<QTreeView*>(QStringLiteral("lvHistory"));
        t.start();
        list->selectAll();
        QApplication::processEvents();
        const double selected = Ms(t.nsecsElapsed());
        t.start();
        list->scrollToBottom();
        list->repaint();
        QApplication::processEvents();
        const double scrolled = Ms(t.nsecsElapsed());
        std::printf("History page with %d rows\n", list->model()->rowCount());
        std::printf("  %-40s %8.1f ms\n", "start-up to the page shown", shown);
        std::printf("  %-40s %8.1f ms\n", "select all", selected);
        std::printf("  %-40s %8.1f ms\n", "scroll to the end and repaint", scrolled);
        data.History.Clear(); // nothing to write back
    }
    AnalysisFigures(parameters, 10000);
    AnalysisFigures(parameters, Records);
    QFile::remove(file.FileName());
    return 0;
}
