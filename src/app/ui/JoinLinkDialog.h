// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ui/JoinCodeReader.h"
#include "support/Scheduler.h"

#include <QDialog>

#include <functional>

class QCamera;
class QLabel;
class QLineEdit;
class QMediaCaptureSession;
class QMediaDevices;
class QMimeData;
class QPushButton;
class QVideoFrame;
class QVideoSink;

namespace pgw {

class AppController;

// Joins a Host from whatever the musician has of its join link: the link itself, a picture of its QR
// code (pasted, dropped or opened from a file) or the code held up to a camera. A link found is opened
// as if the desktop had opened it, and the dialog closes.
class JoinLinkDialog : public QDialog
{
    Q_OBJECT

public:
    // A camera frame is decoded at most this often, and only when no other frame is being decoded.
    static constexpr double scanInterval = 0.25;
    static constexpr double previewInterval = 0.08;
    static inline const QString noCameraText = QStringLiteral("No camera found on this computer.");
    static inline const QString nothingToReadText
        = QStringLiteral("Copy the join link or a picture of the QR code, then paste it here.");

    JoinLinkDialog(Scheduler &main, AppController &controller, QWidget *parent = nullptr);

    // Whether a paste or drop of this data can hold a link or a picture.
    static bool canTake(const QMimeData &data);
    // Whether the paste key in a text field should leave the clipboard to this dialog: it holds a
    // picture or a join link rather than plain text.
    static bool clipboardIsForJoining();
    // A pasted or dropped link, image file or picture.
    void take(const QMimeData &data);
    void pasteClipboard();
    void readImageFile(const QString &path);

    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    // After the controller has been handed the link.
    void joinLinkOpened(const QUrl &url);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void joinTypedLink();
    void open(const QUrl &url);
    // Reads on a worker thread and hands the outcome back here.
    void decode(std::function<JoinCodeReader::Outcome()> work, bool fromCamera);
    void finish(const JoinCodeReader::Outcome &outcome, bool fromCamera);
    void setProblem(const QString &text);
    void refreshCameras();
    void startCamera();
    void stopCamera();
    void frameArrived(const QVideoFrame &frame);

    Scheduler &m_main;
    AppController &m_controller;
    QLineEdit *m_field;
    QPushButton *m_join;
    QPushButton *m_scan;
    QLabel *m_noCamera;
    QLabel *m_preview;
    QLabel *m_status;
    QMediaDevices *m_devices;
    QVideoSink *m_sink;
    QMediaCaptureSession *m_session = nullptr;
    QCamera *m_camera = nullptr;
    bool m_frameInFlight = false;
    double m_lastDecode = -1e9;
    double m_lastPreview = -1e9;
    bool m_closed = false;
};

} // namespace pgw
