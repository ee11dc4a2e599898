// What the operator sees and reaches: the last job's outcome in the status bar, Enter on buttons,
// Alt letters, the About page's words.
#include "app/aboutpage.h"
#include "app/mainwindow.h"
#include "app/outcomepane.h"
#include "app/programlocale.h"
#include "core/joboutcomes.h"
#include "core/version.h"
#include "support/testbed.h"
#include "widgets/keyboard.h"

#include <QCheckBox>
#include <QDialog>
#include <QHash>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

class TstOperatorView : public QObject {
    Q_OBJECT
private slots:
    void outcomeIsTheLastJobTextTheLinkCheckWouldOverwrite()
    {
        // Each step: status texts set outside the link check ("" = none), whether a link check
        // then runs, an explicit report; then the outcome expected (text, severity).
        struct Step {
            QStringList jobTexts;
            bool linkCheck;
            QString reported;
            QString expected;
            JobOutcome::Severity severity;
        };
        using S = JobOutcome::Severity;
        const QList<Step> steps{
            {{}, true, {}, {}, S::Info},                                               // nothing done yet
            {{QStringLiteral("Данные записаны в файл.")}, false, {}, {}, S::Info},     // not over before the check
            {{}, true, {}, QStringLiteral("Данные записаны в файл."), S::Info},        // the check takes the line back
            {{}, true, {}, QStringLiteral("Данные записаны в файл."), S::Info},        // and it stays
            {{QStringLiteral("Принято из прибора страниц: 3"), QStringLiteral("Принято из прибора страниц: 17")},
             true, {}, QStringLiteral("Принято из прибора страниц: 17"), S::Info},      // the last word counts
            {{QStringLiteral("Порт связи потерян. Прервано: чтение БД ТС.")}, true, {},
             QStringLiteral("Порт связи потерян. Прервано: чтение БД ТС."), S::Warning},
            {{QStringLiteral("Ошибка формирования доп.списка.")}, true, {}, QStringLiteral("Ошибка формирования доп.списка."), S::Error},
            // A job that reports itself supersedes the words it left on the line.
            {{QStringLiteral("Запись БД ТС в прибор.")}, false, QStringLiteral("БД ТС записана в прибор."),
             QStringLiteral("БД ТС записана в прибор."), S::Info},
            {{}, true, {}, QStringLiteral("БД ТС записана в прибор."), S::Info},
        };
        StatusModel status;
        JobOutcomes outcomes;
        outcomes.watchStatus(status);
        for (int i = 0; i < steps.size(); ++i) {
            const Step &s = steps.at(i);
            for (const QString &t : s.jobTexts)
                status.setText(t);
            if (!s.reported.isEmpty())
                outcomes.report(s.reported);
            if (s.linkCheck) {
                outcomes.linkCheckStarted();
                status.setText(QStringLiteral("Связь с прибором есть.")); // the check's own text is no outcome
                outcomes.linkCheckEnded();
            }
            QVERIFY2(outcomes.last().text == s.expected, qPrintable(QStringLiteral("step %1: %2").arg(i).arg(outcomes.last().text)));
            if (!s.expected.isEmpty()) {
                QCOMPARE(outcomes.last().severity, s.severity);
                QVERIFY(outcomes.last().time.isValid());
            }
        }
    }

    void theWindowKeepsTheOutcomeBesideTheStatusLine()
    {
        TestBed bed;
        TFormMainKviroS_D7 &w = bed.window();
        w.resize(784, 444);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        bed.tick();
        auto *pane = w.findChild<OutcomePane *>(QStringLiteral("outcomePane"));
        QVERIFY(pane);
        QVERIFY(pane->wholeText().isEmpty());

        // A long failure: the status line goes back to the link, the outcome stays whole and red.
        const QString failure = QStringLiteral("Не удалось записать файл \"/очень/длинный/путь/к/папке/с/результатами/"
                                               "измерений/2011_04_03_15-30-00 ОП.xlsx\": на диске нет свободного места.");
        w.status().setText(failure);
        bed.tick();
        bed.tick();
        QCOMPARE(w.status().text(), QStringLiteral("Связь с прибором есть."));
        QVERIFY(pane->wholeText().endsWith(failure));
        QVERIFY(pane->showsFailure());
        QCOMPARE(pane->toolTip(), pane->wholeText());
        QCOMPARE(pane->accessibleDescription(), pane->wholeText());
        // Wrapped rather than cut: the bar grows to show more than one line.
        QTRY_VERIFY(w.statusBar()->height() > w.statusBar()->fontMetrics().height() * 2);

        // Click, Enter or Space opens the whole text.
        QTest::mouseClick(pane, Qt::LeftButton);
        QMessageBox *box = w.findChild<QMessageBox *>(QStringLiteral("outcomeBox"));
        QVERIFY(box);
        QVERIFY(box->text().endsWith(failure));
        box->close();
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_Return);
        QTRY_COMPARE(w.findChildren<QMessageBox *>(QStringLiteral("outcomeBox")).size(), 1);

        // An instruction in the status line itself wraps and is shown whole.
        const QString instruction = QStringLiteral("Загрузка прервана. Выключите прибор и включите, удерживая указку на "
                                                   "экране, затем повторите загрузку с шага 2.");
        auto *line = w.findChild<QLabel *>(QStringLiteral("statusText"));
        w.status().setText(instruction);
        QCOMPARE(line->text(), instruction);
        QVERIFY(line->wordWrap());
        QTRY_VERIFY2(line->height() >= line->heightForWidth(line->width()),
                     qPrintable(QStringLiteral("%1 < %2 at %3, bar %4").arg(line->height()).arg(line->heightForWidth(line->width()))
                                    .arg(line->width()).arg(w.statusBar()->height())));

        // The next job's outcome replaces it, in the usual colour.
        w.outcomes().report(QStringLiteral("Данные записаны в файл."));
        QVERIFY(pane->wholeText().endsWith(QStringLiteral("Данные записаны в файл.")));
        QVERIFY(!pane->showsFailure());

        // Opening a page is no job: the firmware wizard's step texts leave the outcome as it is.
        w.ActionSoftSorvintExecute();
        QCOMPARE(w.status().text(), QStringLiteral("Определите файл для загрузки. Шаг 1."));
        bed.tick();
        w.Action1Execute();
        bed.tick();
        QVERIFY2(pane->wholeText().endsWith(QStringLiteral("Данные записаны в файл.")), qPrintable(pane->wholeText()));
    }

    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("clicks");
        QTest::newRow("push button") << QStringLiteral("push") << true << 1;
        QTest::newRow("tool button") << QStringLiteral("tool") << true << 1;
        QTest::newRow("disabled") << QStringLiteral("push") << false << 0;
        QTest::newRow("dialog's own button, once") << QStringLiteral("dialog") << true << 1;
        QTest::newRow("check box keeps Enter") << QStringLiteral("check") << true << 0;
    }

    void enterPressesTheFocusedButton()
    {
        QFETCH(QString, kind);
        QFETCH(bool, enabled);
        QFETCH(int, clicks);
        keyboard::enterPressesButtons();
        std::unique_ptr<QWidget> top(kind == QLatin1String("dialog") ? new QDialog : new QWidget);
        auto *layout = new QHBoxLayout(top.get());
        QAbstractButton *button = nullptr;
        if (kind == QLatin1String("tool"))
            button = new QToolButton;
        else if (kind == QLatin1String("check"))
            button = new QCheckBox(QStringLiteral("x"));
        else
            button = new QPushButton(QStringLiteral("x"));
        layout->addWidget(button);
        layout->addWidget(new QPushButton(QStringLiteral("y")));
        button->setEnabled(enabled);
        top->show();
        QVERIFY(QTest::qWaitForWindowExposed(top.get()));
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(clicked.size(), clicks * 2);
    }

    void altLettersDoNotClash_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("reader page") << QStringList{QStringLiteral("Принять данные"), QStringLiteral("Данные в файл"),
                                                    QStringLiteral("Данные в Excel"), QStringLiteral("Из файла в Excel")}
                                     << keyboard::MenuLetters
                                     << QStringList{QStringLiteral("Принять &данные"), QStringLiteral("Данные &в файл"),
                                                    QStringLiteral("Данные в &Excel"), QStringLiteral("&Из файла в Excel")};
        QTest::newRow("a word start before other letters")
            << QStringList{QStringLiteral("Копировать"), QStringLiteral("Конец"), QStringLiteral("ко")} << QString()
            << QStringList{QStringLiteral("&Копировать"), QStringLiteral("К&онец"), QStringLiteral("ко")};
        QTest::newRow("a mark already there is kept and taken")
            << QStringList{QStringLiteral("Сохранить"), QStringLiteral("&Сброс")} << QString()
            << QStringList{QStringLiteral("С&охранить"), QStringLiteral("&Сброс")};
        QTest::newRow("symbols are skipped") << QStringList{QStringLiteral("<<< Добавить")} << QStringLiteral("д")
                                             << QStringList{QStringLiteral("<<< Д&обавить")};
    }

    void altLettersDoNotClash()
    {
        QFETCH(QStringList, captions);
        QFETCH(QString, taken);
        QFETCH(QStringList, expected);
        QCOMPARE(keyboard::withMnemonics(captions, taken), expected);
    }

#ifndef Q_OS_WIN
    void russianWhateverTheSystemLocale_data()
    {
        QTest::addColumn<QStringList>("before"); // NAME=value; a name alone: unset
        QTest::addColumn<QStringList>("after");
        QTest::newRow("LC_ALL=C") << QStringList{QStringLiteral("LC_ALL=C"), QStringLiteral("LC_CTYPE"), QStringLiteral("LC_NUMERIC")}
                                  << QStringList{QStringLiteral("LC_ALL"), QStringLiteral("LC_CTYPE=C"), QStringLiteral("LC_NUMERIC=C"),
                                                 QStringLiteral("LC_TIME=ru_RU.UTF-8"), QStringLiteral("LC_MESSAGES=ru_RU.UTF-8")};
        QTest::newRow("own numbers kept") << QStringList{QStringLiteral("LC_ALL=en_US.UTF-8"), QStringLiteral("LC_CTYPE"),
                                                         QStringLiteral("LC_NUMERIC=de_DE.UTF-8")}
                                          << QStringList{QStringLiteral("LC_ALL"), QStringLiteral("LC_CTYPE=en_US.UTF-8"),
                                                         QStringLiteral("LC_NUMERIC=de_DE.UTF-8"), QStringLiteral("LC_TIME=ru_RU.UTF-8")};
        QTest::newRow("LANG only") << QStringList{QStringLiteral("LC_ALL"), QStringLiteral("LC_CTYPE"), QStringLiteral("LC_NUMERIC"),
                                                  QStringLiteral("LANG=en_GB.UTF-8")}
                                   << QStringList{QStringLiteral("LC_ALL"), QStringLiteral("LC_CTYPE"), QStringLiteral("LC_NUMERIC"),
                                                  QStringLiteral("LANG=en_GB.UTF-8"), QStringLiteral("LC_MESSAGES=ru_RU.UTF-8")};
    }

    void russianWhateverTheSystemLocale()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        const QStringList touched{QStringLiteral("LC_ALL"), QStringLiteral("LC_CTYPE"), QStringLiteral("LC_NUMERIC"),
                                  QStringLiteral("LC_TIME"), QStringLiteral("LC_MESSAGES"), QStringLiteral("LANGUAGE"),
                                  QStringLiteral("LANG")};
        QHash<QString, QByteArray> saved;
        for (const QString &n : touched)
            if (qEnvironmentVariableIsSet(n.toLatin1().constData()))
                saved.insert(n, qgetenv(n.toLatin1().constData()));
        auto apply = [](const QString &item) {
            const QByteArray name = item.section(QLatin1Char('='), 0, 0).toLatin1();
            if (item.contains(QLatin1Char('=')))
                qputenv(name.constData(), item.section(QLatin1Char('='), 1).toUtf8());
            else
                qunsetenv(name.constData());
        };
        for (const QString &item : before)
            apply(item);
        prepareRussianEnvironment();
        for (const QString &item : after) {
            const QByteArray name = item.section(QLatin1Char('='), 0, 0).toLatin1();
            if (item.contains(QLatin1Char('=')))
                QCOMPARE(qgetenv(name.constData()), item.section(QLatin1Char('='), 1).toUtf8());
            else
                QVERIFY2(!qEnvironmentVariableIsSet(name.constData()), name.constData());
        }
        for (const QString &n : touched) {
            if (saved.contains(n))
                qputenv(n.toLatin1().constData(), saved.value(n));
            else
                qunsetenv(n.toLatin1().constData());
        }
    }
#endif

    void aboutPageSaysWhatItMeans()
    {
        TestBed bed(false);
        auto *about = bed.window().findChild<AboutPage *>();
        QVERIFY(about);
        const QString type = about->instrumentTypeLabel->text();
        QVERIFY2(!type.contains(QLatin1Char('<')) && !type.contains(QChar(u'‹')), qPrintable(type));
        QVERIFY(kviro::buildDate().isValid());
        QVERIFY2(type.contains(kviro::buildDate().toString(QStringLiteral("dd.MM.yyyy"))), qPrintable(type));
        QVERIFY(about->featureHeading->text().startsWith(QStringLiteral("С помощью этой программы")));
        const QString requirements = about->findChild<QLabel *>(QStringLiteral("lbRequirements"))->text();
        QVERIFY2(!requirements.contains(QStringLiteral("2000")) && requirements.contains(QStringLiteral("Linux")),
                 qPrintable(requirements));
    }
};

QTEST_MAIN(TstOperatorView)
#include "tst_operatorview.moc"
