#include "sim/ptyport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
qint64 nowNs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}
} // namespace

PtyPort::PtyPort(QString folder, int comNumber, QObject *parent)
    : QObject(parent), m_folder(std::move(folder)), m_com(comNumber)
{
    m_pumpTimer.setSingleShot(true);
    connect(&m_pumpTimer, &QTimer::timeout, this, &PtyPort::pump);
    m_refill.setInterval(5);
    connect(&m_refill, &QTimer::timeout, this, [this] {
        refillCredit();
        if (m_readNotifier && !m_readNotifier->isEnabled())
            m_readNotifier->setEnabled(true);
        pump();
        if (m_out.isEmpty() && m_readNotifier && m_readNotifier->isEnabled())
            m_refill.stop();
    });
}

PtyPort::~PtyPort() { close(); }

QString PtyPort::linkPath() const { return QDir(m_folder).filePath(QStringLiteral("COM%1").arg(m_com)); }

bool PtyPort::open()
{
    if (isOpen())
        return true;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (master >= 0)
            ::close(master);
        return false;
    }
    // Programs started meanwhile (a command line under test) must not inherit the terminal: a
    // copy of either end held elsewhere keeps the line alive after the instrument is switched off.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    char name[128] = {};
    if (ptsname_r(master, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slaveKeep >= 0) {
        termios tio{};
        if (tcgetattr(m_slaveKeep, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_slaveKeep, TCSANOW, &tio);
        }
    }
    m_master = master;
    QDir().mkpath(m_folder);
    QFile::remove(linkPath());
    if (!QFile::link(m_slavePath, linkPath())) {
        m_error = QStringLiteral("cannot create %1").arg(linkPath());
        close();
        return false;
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyPort::onReadable);
    m_lastRefillNs = nowNs();
    m_inCredit = m_outCredit = 0;
    return true;
}

void PtyPort::close()
{
    QFile::remove(linkPath());
    m_readNotifier.reset();
    m_refill.stop();
    m_pumpTimer.stop();
    m_out.clear();
    if (m_slaveKeep >= 0)
        ::close(m_slaveKeep);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeep = m_master = -1;
}

void PtyPort::setChunking(int chunkBytes, int delayMs)
{
    m_chunk = std::max(0, chunkBytes);
    m_chunkDelay = std::max(0, delayMs);
}

void PtyPort::setLineRate(int bytesPerSecond)
{
    m_rate = std::max(0, bytesPerSecond);
    m_inCredit = m_outCredit = 0;
    m_lastRefillNs = nowNs();
}

void PtyPort::setStalled(bool stalled)
{
    m_stalled = stalled;
    if (!stalled)
        pump();
}

void PtyPort::refillCredit()
{
    if (m_rate <= 0)
        return;
    const qint64 now = nowNs();
    const qint64 add = (now - m_lastRefillNs) * m_rate / 1000000000LL;
    if (add <= 0)
        return;
    m_lastRefillNs += add * 1000000000LL / m_rate;
    // Keep at most a few milliseconds of credit: a line cannot save up its idle time.
    const qint64 cap = std::max<qint64>(64, m_rate / 50);
    // While the PC's bytes wait in the terminal, credit above the cap is time this end lost.
    if (m_readNotifier && !m_readNotifier->isEnabled() && m_inCredit + add > cap)
        m_inLost += m_inCredit + add - cap;
    // Not while the PC leaves the terminal full: that wait is the PC's.
    if (!m_out.isEmpty() && !m_stalled && !m_outBlocked && m_outCredit + add > cap)
        m_outLost += m_outCredit + add - cap;
    m_inCredit = std::min(m_inCredit + add, cap);
    m_outCredit = std::min(m_outCredit + add, cap);
}

qint64 PtyPort::budget(qint64 &credit)
{
    if (m_rate <= 0)
        return 1 << 20;
    refillCredit();
    return credit;
}

void PtyPort::onReadable()
{
    if (m_master < 0)
        return;
    qint64 allowed = budget(m_inCredit);
    if (allowed <= 0) {
        // Leave the bytes in the terminal: the PC's writes then wait as they would on a real line.
        m_readNotifier->setEnabled(false);
        m_refill.start();
        return;
    }
    char buf[4096];
    const ssize_t n = ::read(m_master, buf, size_t(std::min<qint64>(allowed, qint64(sizeof buf))));
    if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // No peer on the slave side and ours is gone: stop listening rather than spin.
        m_readNotifier->setEnabled(false);
        return;
    }
    if (m_rate > 0)
        m_inCredit -= n;
    emit received(QByteArray(buf, int(n)));
}

void PtyPort::write(const QByteArray &bytes)
{
    if (m_master < 0 || bytes.isEmpty())
        return;
    m_out.append(bytes);
    if (!m_pumpTimer.isActive())
        pump();
}

void PtyPort::pump()
{
    if (m_master < 0 || m_stalled || m_out.isEmpty())
        return;
    qint64 allowed = budget(m_outCredit);
    if (m_chunk > 0)
        allowed = std::min<qint64>(allowed, m_chunk);
    if (allowed <= 0) {
        m_refill.start();
        return;
    }
    const ssize_t n = ::write(m_master, m_out.constData(), size_t(std::min<qint64>(allowed, m_out.size())));
    m_outBlocked = n < 0 && errno == EAGAIN;
    if (n > 0) {
        m_out.remove(0, n);
        if (m_rate > 0)
            m_outCredit -= n;
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        m_out.clear();
        return;
    }
    if (m_out.isEmpty())
        return;
    if (m_chunk > 0 && m_chunkDelay > 0)
        m_pumpTimer.start(m_chunkDelay);
    else if (m_rate > 0 || n <= 0)
        m_refill.start();
    else
        m_pumpTimer.start(0);
}
