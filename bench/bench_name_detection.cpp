// Measures entry-name detection on name sets it was not tuned on: each set
// written in every code page that can hold it, whole and cut down to one or
// two names. Prints how often the detector settles right, asks, or settles
// wrong (which must stay at zero), and how long detection takes.
#include "platform/encoding/EncodingDetector.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextStream>

namespace {

struct Writer {
    const char *codePage;
    bool fromWindows;
};

struct Language {
    const char *label;
    QStringList names;
    QList<Writer> writers;
};

QList<Language> languages()
{
    return {
        {"Chinese simplified",
         {u"项目计划书.docx"_qs, u"产品介绍/"_qs, u"产品介绍/宣传册.pdf"_qs, u"客户反馈汇总.xlsx"_qs,
          u"培训资料/新员工培训.pptx"_qs, u"年终总结.doc"_qs, u"会议室预订表.xls"_qs, u"采购合同.pdf"_qs},
         {{"GBK", true}, {"GBK", false}, {"gb18030", false}}},
        {"Chinese traditional",
         {u"專案計畫書.docx"_qs, u"產品介紹/"_qs, u"產品介紹/宣傳冊.pdf"_qs, u"客戶回饋彙總.xlsx"_qs,
          u"訓練資料/新進員工訓練.pptx"_qs, u"年終總結.doc"_qs},
         {{"Big5", true}, {"Big5", false}}},
        {"Japanese",
         {u"プロジェクト計画書.docx"_qs, u"製品紹介/"_qs, u"製品紹介/パンフレット.pdf"_qs,
          u"顧客アンケート集計.xlsx"_qs, u"研修資料/新入社員研修.pptx"_qs, u"年度末報告.doc"_qs,
          u"会議室予約表.xls"_qs},
         {{"Shift_JIS", true}, {"Shift_JIS", false}, {"EUC-JP", false}}},
        {"Korean",
         {u"프로젝트 계획서.docx"_qs, u"제품 소개/"_qs, u"제품 소개/안내서.pdf"_qs,
          u"고객 설문 결과.xlsx"_qs, u"교육 자료/신입 사원 교육.pptx"_qs, u"연말 보고서.hwp"_qs},
         {{"windows-949", true}, {"EUC-KR", false}}},
        {"Russian",
         {u"План проекта.docx"_qs, u"Описание продукта/"_qs, u"Описание продукта/Буклет.pdf"_qs,
          u"Отзывы клиентов.xlsx"_qs, u"Обучение/Новые сотрудники.pptx"_qs, u"Годовой отчёт.doc"_qs},
         {{"IBM866", true}, {"windows-1251", true}, {"windows-1251", false}, {"KOI8-R", false},
          {"ISO-8859-5", false}}},
        {"Ukrainian",
         {u"План проєкту.docx"_qs, u"Опис продукту/"_qs, u"Опис продукту/Брошура.pdf"_qs,
          u"Відгуки клієнтів.xlsx"_qs, u"Річний звіт.doc"_qs},
         {{"windows-1251", false}, {"KOI8-U", false}}},
        {"Bulgarian",
         {u"План на проекта.docx"_qs, u"Описание на продукта/"_qs, u"Годишен отчет.doc"_qs,
          u"Снимки от морето.jpg"_qs},
         {{"IBM866", true}, {"windows-1251", false}}},
        {"German",
         {u"Projektübersicht.docx"_qs, u"Produktbeschreibung/"_qs,
          u"Produktbeschreibung/Broschüre.pdf"_qs, u"Kundenrückmeldungen.xlsx"_qs,
          u"Schulung/Einführung für neue Mitarbeiter.pptx"_qs, u"Jahresabschluß.doc"_qs,
          u"Größenänderung.txt"_qs},
         {{"IBM437", true}, {"IBM850", true}, {"windows-1252", false}, {"ISO-8859-15", false},
          {"windows-1252", true}}},
        {"French",
         {u"Plan du projet.docx"_qs, u"Présentation du produit/"_qs,
          u"Présentation du produit/Brochure.pdf"_qs, u"Retours des clients.xlsx"_qs,
          u"Formation/Accueil des nouveaux employés.pptx"_qs, u"Bilan de l'année.doc"_qs,
          u"Reçu d'été.pdf"_qs},
         {{"IBM850", true}, {"windows-1252", false}}},
        {"Spanish",
         {u"Plan del proyecto.docx"_qs, u"Descripción del producto/"_qs,
          u"Descripción del producto/Folleto.pdf"_qs, u"Opiniones de los clientes.xlsx"_qs,
          u"Capacitación/Nuevos empleados.pptx"_qs, u"Informe del año.doc"_qs, u"Mañana.txt"_qs},
         {{"IBM850", true}, {"IBM437", true}, {"windows-1252", false}}},
        {"Italian",
         {u"Piano del progetto.docx"_qs, u"Descrizione del prodotto/"_qs, u"Perché così.txt"_qs,
          u"Città e università.pdf"_qs},
         {{"IBM850", true}, {"windows-1252", false}}},
        {"Swedish",
         {u"Projektplan.docx"_qs, u"Årsredovisning.pdf"_qs, u"Möten/Protokoll från mötet.docx"_qs,
          u"Kundlista för året.xlsx"_qs, u"Försäljning.xlsx"_qs},
         {{"IBM850", true}, {"windows-1252", false}}},
        {"Polish",
         {u"Plan projektu.docx"_qs, u"Opis produktu/"_qs, u"Opis produktu/Broszura.pdf"_qs,
          u"Opinie klientów.xlsx"_qs, u"Szkolenie/Nowi pracownicy.pptx"_qs,
          u"Sprawozdanie roczne.doc"_qs, u"Zażółć gęślą jaźń.txt"_qs},
         {{"IBM852", true}, {"windows-1250", false}, {"ISO-8859-2", false}}},
        {"Czech",
         {u"Plán projektu.docx"_qs, u"Popis výrobku/"_qs, u"Popis výrobku/Brožura.pdf"_qs,
          u"Názory zákazníků.xlsx"_qs, u"Školení/Noví zaměstnanci.pptx"_qs,
          u"Výroční zpráva.doc"_qs},
         {{"IBM852", true}, {"windows-1250", false}}},
        {"Hungarian",
         {u"Projektterv.docx"_qs, u"Termékleírás/"_qs, u"Termékleírás/Prospektus.pdf"_qs,
          u"Ügyfelek véleménye.xlsx"_qs, u"Éves jelentés.doc"_qs, u"Képzés/Új munkatársak.pptx"_qs},
         {{"IBM852", true}, {"windows-1250", false}}},
        {"Turkish",
         {u"Proje planı.docx"_qs, u"Ürün açıklaması/"_qs, u"Ürün açıklaması/Broşür.pdf"_qs,
          u"Müşteri görüşleri.xlsx"_qs, u"Eğitim/Yeni çalışanlar.pptx"_qs, u"Yıllık rapor.doc"_qs},
         {{"IBM857", true}, {"windows-1254", false}, {"ISO-8859-9", false}}},
        {"Greek",
         {u"Σχέδιο έργου.docx"_qs, u"Περιγραφή προϊόντος/"_qs, u"Περιγραφή προϊόντος/Φυλλάδιο.pdf"_qs,
          u"Απόψεις πελατών.xlsx"_qs, u"Ετήσια έκθεση.doc"_qs},
         {{"ibm-737", true}, {"windows-1253", false}, {"ISO-8859-7", false}}},
        {"Hebrew",
         {u"תוכנית פרויקט.docx"_qs, u"תיאור מוצר/"_qs, u"תיאור מוצר/חוברת.pdf"_qs,
          u"משוב לקוחות.xlsx"_qs, u"דוח שנתי.doc"_qs},
         {{"IBM862", true}, {"windows-1255", false}, {"ISO-8859-8", false}}},
        {"Arabic",
         {u"خطة المشروع.docx"_qs, u"وصف المنتج/"_qs, u"وصف المنتج/كتيب.pdf"_qs,
          u"آراء العملاء.xlsx"_qs, u"التقرير السنوي.doc"_qs},
         {{"ibm-720", true}, {"windows-1256", false}}},
        {"Thai",
         {u"แผนโครงการ.docx"_qs, u"รายละเอียดสินค้า/"_qs, u"รายละเอียดสินค้า/โบรชัวร์.pdf"_qs,
          u"ความคิดเห็นลูกค้า.xlsx"_qs, u"รายงานประจำปี.doc"_qs},
         {{"windows-874", true}, {"TIS-620", false}}},
        {"Lithuanian",
         {u"Projekto planas.docx"_qs, u"Produkto aprašymas/"_qs, u"Klientų atsiliepimai.xlsx"_qs,
          u"Metinė ataskaita.doc"_qs, u"Ąžuolas.jpg"_qs},
         {{"IBM775", true}, {"windows-1257", false}}},
    };
}

struct Tally {
    int right = 0;
    int asked = 0;
    int wrong = 0;
    int noChoice = 0; // asked, and the right reading was not offered
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Tally total;
    QElapsedTimer timer;
    qint64 detections = 0;
    qint64 nanoseconds = 0;
    for (const Language &language : languages()) {
        for (const Writer &writer : language.writers) {
            QList<QByteArray> all;
            bool encodable = true;
            for (const QString &name : language.names) {
                const auto bytes = IcuTextCodec::encodeStrict(name, writer.codePage);
                encodable = encodable && bytes.has_value();
                all.append(bytes.value_or(QByteArray()));
            }
            if (!encodable) {
                out << "skipped " << language.label << " in " << writer.codePage << "\n";
                continue;
            }
            for (qsizetype count : {qsizetype(1), qsizetype(2), all.size()}) {
                const QList<QByteArray> names = all.mid(0, count);
                const QStringList expected = language.names.mid(0, count);
                timer.start();
                const auto readings = EncodingDetector::rank(names, writer.fromWindows);
                const float confidence = EncodingDetector::confidenceFor(readings, names);
                nanoseconds += timer.nsecsElapsed();
                ++detections;
                const bool right = !readings.isEmpty() && readings.first().names == expected;
                const char *verdict = "asked";
                if (confidence >= 0.8f) {
                    (right ? total.right : total.wrong) += 1;
                    verdict = right ? "right" : "WRONG";
                } else {
                    total.asked += 1;
                    const bool offered = std::any_of(readings.begin(), readings.end(),
                        [&](const auto &r) { return r.names == expected; });
                    total.noChoice += offered ? 0 : 1;
                }
                out << verdict << "\t" << QString::number(confidence, 'f', 2) << "\t"
                    << language.label << ", " << writer.codePage
                    << (writer.fromWindows ? " (Windows)" : "") << ", " << count << " names";
                if (!right && !readings.isEmpty())
                    out << "\tfirst: "
                        << EncodingRegistry::instance().nameForNumber(readings.first().encoding);
                out << "\n";
            }
        }
    }
    out << "\nsettled right " << total.right << ", asked " << total.asked << " (right reading not offered "
        << total.noChoice << "), settled WRONG " << total.wrong << "\n";
    out << "mean detection time " << (detections ? nanoseconds / detections / 1000 : 0) << " us over "
        << detections << " sets\n";

    // Detection over a large archive's worth of names (the decoder stops
    // adding names at 8 KiB).
    QList<QByteArray> large;
    qsizetype bytes = 0;
    for (int i = 0; bytes < 8 * 1024; ++i) {
        const QString name = languages().at(4).names.at(i % 6) + QString::number(i);
        large.append(*IcuTextCodec::encodeStrict(name, "IBM866"));
        bytes += large.last().size();
    }
    timer.start();
    const auto guess = EncodingDetector::detect(large, true);
    out << "detection over " << large.size() << " names (" << bytes << " bytes): "
        << timer.elapsed() << " ms, confidence " << guess.confidence << "\n";
    return total.wrong == 0 ? 0 : 1;
}
