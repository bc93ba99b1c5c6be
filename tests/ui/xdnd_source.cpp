// A drag source for the scripts that drive the desktop program under Xvfb, where no file manager
// runs: a small window that, when the mouse is pressed on it, drags the files named on its
// command line as a file manager does (a text/uri-list of file URLs). The script moves the mouse
// onto the target and releases it. Exit status 0 when the target took the drop.
#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

namespace {

class DragSource : public QLabel {
public:
    explicit DragSource(QList<QUrl> urls) : QLabel("Drag me"), urls_(std::move(urls)) {
        setWindowTitle("drag source");
        setAlignment(Qt::AlignCenter);
        resize(120, 60);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* mime = new QMimeData;
        mime->setUrls(urls_);
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        const int status = drag->exec(Qt::CopyAction) == Qt::CopyAction ? 0 : 1;
        // The target reads the dropped data from this process after the drop: it stays a while.
        QTimer::singleShot(3000, [status] { QApplication::exit(status); });
    }

private:
    QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i) {
        urls << QUrl::fromLocalFile(QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath());
    }
    DragSource source(urls);
    source.move(700, 600);
    source.show();
    return app.exec();
}
