#include "about/frmAbout.h"

#include "about/AppIcon.h"
#include "kestro/Version.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace kestro {

namespace {

const QString kSysInfoError = QString::fromLatin1(label::kStartSysInfo);
const char* const kUnavailable =
    QT_TRANSLATE_NOOP("kestro::frmAbout", "Systeminformationen sind momentan nicht verfügbar");
const QString kJournal = QStringLiteral("SoundJournal.log");

}  // namespace

QString versionText(int major, int minor, int revision, const QString& comment) {
    return frmAbout::tr("Version %1.%2.%3  ").arg(major).arg(minor).arg(revision) + comment;
}

QString buildVersionText() {
    return versionText(KESTRO_VERSION_MAJOR, KESTRO_VERSION_MINOR, KESTRO_VERSION_PATCH,
                       QStringLiteral(KESTRO_VERSION_COMMENT));
}

SysInfoLauncher SysInfoLauncher::standard() {
    SysInfoLauncher l;
    l.candidates = {QStringLiteral("hardinfo"), QStringLiteral("gnome-system-monitor"), QStringLiteral("kinfocenter"),
                    QStringLiteral("xfce4-taskmanager"), QStringLiteral("lxtask")};
    l.findExecutable = [](const QString& name) {
        return QStandardPaths::findExecutable(name);
    };
    l.fileExists = [](const QString& path) {
        return QFileInfo(path).isFile();
    };
    l.startDetached = [](const QString& program) {
        return QProcess::startDetached(program, {});
    };
    return l;
}

frmAbout::frmAbout(const EventLog& log, MessageSink& messages, RegistryFiles machineFiles, SysInfoLauncher launcher,
                   QWidget* parent)
    : QDialog(parent), log_(log), messages_(messages), files_(std::move(machineFiles)), launcher_(std::move(launcher)) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Info to %1").arg(QStringLiteral(KESTRO_APP_TITLE)));

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(QPixmap::fromImage(kestroAppImage(64)));
    Picture1->setFixedSize(64, 64);

    lblTitle = new QLabel(QStringLiteral(KESTRO_APP_TITLE), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    lblTitle->setFont(big);

    lblVersion = new QLabel(buildVersionText(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblCompanyname = new QLabel(QStringLiteral(KESTRO_COMPANY), this);
    lblCompanyname->setObjectName(QStringLiteral("lblCompanyname"));
    for (QLabel* l : {lblTitle, lblVersion, lblCompanyname})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);  // Enter; Escape closes the dialog as well
    cmdSysInfo = new QPushButton(tr("&Systeminfo..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addSpacing(8);
    texts->addWidget(lblCompanyname);
    texts->addStretch();

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(18);
    grid->addWidget(Picture1, 0, 0, Qt::AlignTop);
    grid->addLayout(texts, 0, 1);
    grid->addLayout(buttons, 0, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    cmdOK->setFocus();
}

bool frmAbout::GetKeyValue(uint32_t root, const QString& keyName, const QString& valueName, QString* out) const {
    // A reading instance: the machine-wide file is opened for reading only.
    const cRegistry reg(files_);
    int32_t type = 0;
    const QVariant v = reg.read(root, keyName, valueName, QVariant(), &type);
    if (!v.isValid()) {
        out->clear();
        return false;
    }
    switch (type) {
        case REG_SZ_:
        case REG_EXPAND_SZ_:
            *out = v.toString();
            break;
        case REG_DWORD_:
        case REG_DWORD_BIG_ENDIAN_:
            *out = QString::number(v.toLongLong());
            break;
        default:
            break;  // a value of another kind is no path
    }
    return true;
}

bool frmAbout::start(const QString& program, int32_t* errNo) const {
    if (program.isEmpty() || !launcher_.fileExists || !launcher_.fileExists(program)) {
        *errNo = kErrFileNotFound;
        return false;
    }
    if (!launcher_.startDetached || !launcher_.startDetached(program)) {
        *errNo = kErrPermissionDenied;
        return false;
    }
    return true;
}

void frmAbout::StartSysInfo() {
    int32_t errNo = 0;
    bool failed = false;  // the first failure's number is the one reported
    auto tryStart = [&](const QString& program) {
        int32_t n = 0;
        if (start(program, &n)) return true;
        if (!failed) {
            failed = true;
            errNo = n;
        }
        return false;
    };

    QString path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE_, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), &path)) {
        if (tryStart(path)) return;
    } else if (GetKeyValue(HKEY_LOCAL_MACHINE_, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                           QStringLiteral("MSINFO"), &path)) {
        const QString exe = path + QStringLiteral("/MSINFO32.EXE");
        if (launcher_.fileExists && launcher_.fileExists(exe) && tryStart(exe)) return;
    }

    // This platform's own system-information programs.
    if (launcher_.findExecutable) {
        for (const QString& name : launcher_.candidates) {
            const QString found = launcher_.findExecutable(name);
            if (!found.isEmpty() && tryStart(found)) return;
        }
    }

    log_.appendTo(kJournal, log_.dateTimeText() + kSysInfoError + QString::number(errNo) + QStringLiteral("\r\n") +
                                QStringLiteral("\r\n"));
    messages_.showMessage(tr(kUnavailable));
}

}  // namespace kestro
