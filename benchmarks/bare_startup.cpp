// The yardstick for vorlant-settings' start-up: the least a Qt Widgets program of the same kind
// does. It opens one dialog, reads the server from the program's store and sends one GET for the
// catalogue, then idles until it is stopped. With --text the dialog also shows one line of text,
// which is what loading the first font costs. Given a URL, it asks for that instead of reading
// the store. scripts/bench-startup.sh starts it beside the real program and compares them.
//
//   bare_startup [--text] [URL]

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QUrl>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool withText = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    const int urlArg = withText ? 2 : 1;
    if (argc > urlArg + 1) {
        std::fprintf(stderr, "usage: bare_startup [--text] [URL]\n");
        return 2;
    }

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Bare start-up"));
    dialog.resize(500, 513);
    if (withText)
        new QLabel(QStringLiteral("Email"), &dialog);
    dialog.show();

    QNetworkAccessManager manager;
    QUrl url;
    if (argc > urlArg) {
        url = QUrl(QString::fromLocal8Bit(argv[urlArg]));
    } else {
        // The same store as vorlant-settings on Linux: /etc/xdg/vorlant/Vorlant.conf.
        const QSettings store(QSettings::NativeFormat, QSettings::SystemScope,
                              QStringLiteral("vorlant"), QStringLiteral("Vorlant"));
        url = store.value(QStringLiteral("server")).toUrl();
        url.setPath(QStringLiteral("/api/2.3/pool/config"));
    }
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    // Take the whole body, as any real client would, and let the reply go.
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
        reply->readAll();
        reply->deleteLater();
    });
    return app.exec();
}
