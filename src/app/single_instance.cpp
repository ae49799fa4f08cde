#include "app/single_instance.h"

#include "app/mpris_logic.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace {
const QString kService = QStringLiteral("org.velloran.Velloran");
const QString kPath = QStringLiteral("/org/velloran/Velloran");

QString lockPath()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/velloran/instance.lock");
}
} // namespace

SingleInstance::~SingleInstance()
{
    if (m_lock >= 0)
        ::close(m_lock);
}

SingleInstance::Claim SingleInstance::claim(const QStringList &files)
{
    m_pending = files;
    if (mpris::reachable(qgetenv("DBUS_SESSION_BUS_ADDRESS"))) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            // The bus gives the name to one caller only, however close two starts come.
            const auto got = bus.interface()->registerService(kService, QDBusConnectionInterface::DontQueueService,
                                                              QDBusConnectionInterface::DontAllowReplacement);
            if (got.isValid() && got.value() == QDBusConnectionInterface::ServiceNotRegistered) {
                QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Open"));
                call << files;
                // One call for all the files: the running program takes them after its reply.
                const QDBusMessage reply = bus.call(call, QDBus::Block, 20000);
                return reply.type() == QDBusMessage::ReplyMessage ? Claim::HandedOver : Claim::Failed;
            }
            bus.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots);
        }
    }
    // Held for the whole run; the kernel lets it go with the process, however it ends.
    const QString path = lockPath();
    QDir().mkpath(QFileInfo(path).path());
    m_lock = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lock >= 0 && ::flock(m_lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return Claim::Locked;
    return Claim::First;
}

void SingleInstance::serve(std::function<void(const QStringList &)> open)
{
    m_open = std::move(open);
    if (!m_pending.isEmpty())
        QTimer::singleShot(0, this, &SingleInstance::deliver);
}

void SingleInstance::Open(const QStringList &files)
{
    m_pending += files;
    m_raise = true;
    // Taken after the reply, so the second start ends at once however long the adding takes.
    if (m_open)
        QTimer::singleShot(0, this, &SingleInstance::deliver);
}

void SingleInstance::deliver()
{
    if (!m_open || (m_pending.isEmpty() && !m_raise))
        return;
    m_raise = false;
    m_open(std::exchange(m_pending, {}));
}
