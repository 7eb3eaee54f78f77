// The yardstick for vorlant-settings' start-up: the least a Qt Widgets program of the same kind
// does. It opens one dialog and sends one GET, then idles until it is stopped. With --text the
// dialog also shows one line of text, which is what loading the first font costs.
// scripts/bench-startup.sh starts it beside the real program and compares them.
//
//   bare_startup [--text] URL

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool withText = argc == 3 && std::strcmp(argv[1], "--text") == 0;
    if (argc != 2 && !withText) {
        std::fprintf(stderr, "usage: bare_startup [--text] URL\n");
        return 2;
    }

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Bare start-up"));
    dialog.resize(500, 513);
    if (withText)
        new QLabel(QStringLiteral("Email"), &dialog);
    dialog.show();

    QNetworkAccessManager manager;
    const QUrl url(QString::fromLocal8Bit(argv[argc - 1]));
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    // Take the whole body, as any real client would, and let the reply go.
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
        reply->readAll();
        reply->deleteLater();
    });
    return app.exec();
}
