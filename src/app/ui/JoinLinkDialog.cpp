// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/JoinLinkDialog.h"

#include "app/AppController.h"
#include "stage/ui/StageStyle.h"

#include <QAction>
#include <QBuffer>
#include <QCamera>
#include <QCameraDevice>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

const QString scanText = u"Scan with Camera"_s;

// Encoded bytes as the clipboard or a drag offers them, so their size is checked before decoding.
std::optional<QByteArray> encodedImage(const QMimeData &data)
{
    const QStringList formats = data.formats();
    for (const QString &format : formats) {
        if (format.startsWith("image/"_L1))
            return data.data(format);
    }
    return std::nullopt;
}

} // namespace

JoinLinkDialog::JoinLinkDialog(Scheduler &main, AppController &controller, QWidget *parent)
    : QDialog(parent)
    , m_main(main)
    , m_controller(controller)
    , m_field(new QLineEdit(this))
    , m_join(new QPushButton(u"Join"_s, this))
    , m_scan(new QPushButton(scanText, this))
    , m_noCamera(new QLabel(noCameraText, this))
    , m_preview(new QLabel(this))
    , m_status(new QLabel(this))
    , m_devices(new QMediaDevices(this))
    , m_sink(new QVideoSink(this))
{
    setObjectName(u"join-link-dialog"_s);
    setWindowTitle(u"Join with a Link or QR Code"_s);
    setMinimumWidth(480);
    setAcceptDrops(true);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);

    auto *explanation = new QLabel(u"Paste the join link the Host shows, or give the Player a picture of its "
                                   "QR code: paste or drop a screenshot, open an image, or hold the code up "
                                   "to a camera. The PIN comes with the code."_s,
        this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    auto *linkRow = new QHBoxLayout;
    m_field->setObjectName(u"join-link-field"_s);
    m_field->setPlaceholderText(u"pagewright-player://join?…"_s);
    m_field->setAccessibleName(u"join link"_s);
    m_field->setFont(StageStyle::mono(13));
    linkRow->addWidget(m_field, 1);
    m_join->setObjectName(u"join-link-join"_s);
    m_join->setDefault(true);
    m_join->setEnabled(false);
    linkRow->addWidget(m_join);
    layout->addLayout(linkRow);
    connect(m_field, &QLineEdit::textChanged, this,
        [this](const QString &text) { m_join->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_join, &QPushButton::clicked, this, &JoinLinkDialog::joinTypedLink);
    m_field->installEventFilter(this);
    auto *pasteKey = new QAction(this);
    pasteKey->setShortcut(QKeySequence::Paste);
    pasteKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(pasteKey, &QAction::triggered, this, &JoinLinkDialog::pasteClipboard);
    addAction(pasteKey);

    auto *pictureRow = new QHBoxLayout;
    auto *paste = new QPushButton(u"Paste"_s, this);
    paste->setObjectName(u"join-link-paste"_s);
    paste->setAutoDefault(false);
    connect(paste, &QPushButton::clicked, this, &JoinLinkDialog::pasteClipboard);
    auto *openImage = new QPushButton(u"Open Image…"_s, this);
    openImage->setObjectName(u"join-link-open-image"_s);
    openImage->setAutoDefault(false);
    connect(openImage, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, u"Open a Picture of the QR Code"_s, {},
            u"Images (*.png *.jpg *.jpeg *.bmp *.gif *.webp *.ppm *.pgm)"_s);
        if (!path.isEmpty())
            readImageFile(path);
    });
    m_scan->setObjectName(u"join-link-scan"_s);
    m_scan->setAutoDefault(false);
    connect(m_scan, &QPushButton::clicked, this, [this] { m_camera ? stopCamera() : startCamera(); });
    for (QPushButton *button : {paste, openImage, m_scan})
        pictureRow->addWidget(button);
    pictureRow->addStretch();
    layout->addLayout(pictureRow);

    m_noCamera->setObjectName(u"join-link-no-camera"_s);
    m_noCamera->setStyleSheet(u"color: %1;"_s.arg(StageStyle::css(StageStyle::dim())));
    layout->addWidget(m_noCamera);
    m_preview->setObjectName(u"camera-preview"_s);
    m_preview->setFixedSize(360, 270);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setStyleSheet(u"background: black;"_s);
    m_preview->hide();
    layout->addWidget(m_preview, 0, Qt::AlignHCenter);

    m_status->setObjectName(u"join-status"_s);
    m_status->setWordWrap(true);
    m_status->setFont(StageStyle::mono(12));
    m_status->setStyleSheet(u"color: %1;"_s.arg(StageStyle::css(StageStyle::warning())));
    layout->addWidget(m_status);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_sink, &QVideoSink::videoFrameChanged, this, &JoinLinkDialog::frameArrived);
    connect(m_devices, &QMediaDevices::videoInputsChanged, this, &JoinLinkDialog::refreshCameras);
    refreshCameras();
}

bool JoinLinkDialog::canTake(const QMimeData &data)
{
    return data.hasUrls() || data.hasText() || data.hasImage() || encodedImage(data);
}

bool JoinLinkDialog::clipboardIsForJoining()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !canTake(*data))
        return false;
    return !data->hasText() || JoinCodeReader::joinLink(data->text());
}

bool JoinLinkDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Left unclaimed by the field, the paste key reaches the dialog's own paste.
    if (watched == m_field && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste) && clipboardIsForJoining())
        return true;
    return QDialog::eventFilter(watched, event);
}

void JoinLinkDialog::take(const QMimeData &data)
{
    // A dropped file comes with its path as text too; the file is what was meant.
    const QList<QUrl> urls = data.urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile()) {
            readImageFile(url.toLocalFile());
            return;
        }
    }
    if (auto bytes = encodedImage(data)) {
        decode(
            [bytes = std::move(*bytes)]() mutable {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::ReadOnly);
                return JoinCodeReader::read(buffer);
            },
            false);
        return;
    }
    if (data.hasImage()) {
        decode(
            [image = qvariant_cast<QImage>(data.imageData())] { return JoinCodeReader::read(image); }, false);
        return;
    }
    const QString text = urls.isEmpty() ? data.text() : urls.first().toString();
    if (text.trimmed().isEmpty()) {
        setProblem(nothingToReadText);
        return;
    }
    m_field->setText(text.trimmed());
    joinTypedLink();
}

void JoinLinkDialog::pasteClipboard()
{
    if (const QMimeData *data = QGuiApplication::clipboard()->mimeData())
        take(*data);
    else
        setProblem(nothingToReadText);
}

void JoinLinkDialog::readImageFile(const QString &path)
{
    decode([path] { return JoinCodeReader::readFile(path); }, false);
}

void JoinLinkDialog::done(int result)
{
    m_closed = true;
    stopCamera();
    QDialog::done(result);
}

void JoinLinkDialog::dragEnterEvent(QDragEnterEvent *event)
{
    if (canTake(*event->mimeData()))
        event->acceptProposedAction();
}

void JoinLinkDialog::dropEvent(QDropEvent *event)
{
    take(*event->mimeData());
    event->acceptProposedAction();
}

void JoinLinkDialog::joinTypedLink()
{
    if (const auto link = JoinCodeReader::joinLink(m_field->text()))
        open(*link);
    else
        setProblem(JoinCodeReader::notALinkText);
}

void JoinLinkDialog::open(const QUrl &url)
{
    m_controller.handleDeepLink(url);
    Q_EMIT joinLinkOpened(url);
    accept();
}

void JoinLinkDialog::decode(std::function<JoinCodeReader::Outcome()> work, bool fromCamera)
{
    if (!fromCamera)
        m_status->setText(u"Reading the picture…"_s);
    QThreadPool::globalInstance()->start([self = QPointer(this), work = std::move(work), fromCamera] {
        JoinCodeReader::Outcome outcome = work();
        // Handed back through the application object: the dialog may be gone by then.
        QMetaObject::invokeMethod(
            qApp,
            [self, outcome = std::move(outcome), fromCamera] {
                if (self)
                    self->finish(outcome, fromCamera);
            },
            Qt::QueuedConnection);
    });
}

void JoinLinkDialog::finish(const JoinCodeReader::Outcome &outcome, bool fromCamera)
{
    if (fromCamera)
        m_frameInFlight = false;
    if (m_closed)
        return;
    if (outcome.link)
        open(*outcome.link);
    // Most frames show no code yet; only one that holds the wrong kind of code is worth a word.
    else if (!fromCamera || outcome.problem == JoinCodeReader::notAJoinLink)
        setProblem(outcome.problem);
}

void JoinLinkDialog::setProblem(const QString &text)
{
    m_status->setText(text);
}

void JoinLinkDialog::refreshCameras()
{
    const bool any = !QMediaDevices::videoInputs().isEmpty();
    if (!any)
        stopCamera();
    m_scan->setEnabled(any);
    m_scan->setToolTip(any ? QString() : noCameraText);
    m_noCamera->setVisible(!any);
}

void JoinLinkDialog::startCamera()
{
    const QCameraDevice device = QMediaDevices::defaultVideoInput();
    if (device.isNull())
        return;
    if (!m_session) {
        m_session = new QMediaCaptureSession(this);
        m_session->setVideoSink(m_sink);
    }
    m_camera = new QCamera(device, this);
    connect(m_camera, &QCamera::errorOccurred, this, [this](QCamera::Error, const QString &text) {
        stopCamera();
        setProblem(u"The camera stopped: "_s + text);
    });
    m_session->setCamera(m_camera);
    m_camera->start();
    m_preview->show();
    m_scan->setText(u"Stop Camera"_s);
}

void JoinLinkDialog::stopCamera()
{
    if (!m_camera)
        return;
    m_camera->stop();
    m_session->setCamera(nullptr);
    m_camera->deleteLater();
    m_camera = nullptr;
    m_preview->hide();
    m_preview->clear();
    m_scan->setText(scanText);
}

void JoinLinkDialog::frameArrived(const QVideoFrame &frame)
{
    // Frames come many times a second; most are only shown, and a few decoded while none is in flight.
    const double now = m_main.now();
    const bool previewDue = now - m_lastPreview >= previewInterval;
    const bool decodeDue = !m_frameInFlight && now - m_lastDecode >= scanInterval;
    if (m_closed || !frame.isValid() || (!previewDue && !decodeDue))
        return;
    const QImage image = frame.toImage();
    if (image.isNull())
        return;
    if (previewDue) {
        m_lastPreview = now;
        m_preview->setPixmap(
            QPixmap::fromImage(image.scaled(m_preview->size(), Qt::KeepAspectRatio, Qt::FastTransformation)));
    }
    if (decodeDue) {
        m_lastDecode = now;
        m_frameInFlight = true;
        decode([image] { return JoinCodeReader::read(image); }, true);
    }
}

} // namespace pgw
