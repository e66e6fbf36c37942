#include "NameSamples.h"

namespace {

QStringList russian()
{
    return {u"Новая папка/"_qs, u"Новая папка/Отчёт за март.docx"_qs,
            u"Фотографии/Отпуск на море.jpg"_qs, u"Протокол совещания.txt"_qs,
            u"Бухгалтерия 2023.xlsx"_qs, u"Договор №15.pdf"_qs};
}

QStringList russianLowerCase()
{
    return {u"документы/"_qs, u"документы/отчет.doc"_qs, u"фото/лето.jpg"_qs,
            u"список дел.txt"_qs};
}

} // namespace

QList<NameSample> nameSamples()
{
    return {
        {u"Chinese, GBK"_qs, u"GBK"_qs, true,
         {u"新建文件夹/"_qs, u"新建文件夹/工作报告.docx"_qs, u"会议纪要2023年.txt"_qs,
          u"照片/春节联欢.jpg"_qs, u"财务报表（最终版）.xlsx"_qs, u"项目说明.pdf"_qs,
          u"合同扫描件.pdf"_qs}},
        {u"Chinese, GBK, few names"_qs, u"GBK"_qs, true,
         {u"资料/"_qs, u"资料/年度总结.doc"_qs, u"图片.png"_qs}},
        {u"Japanese, Shift JIS"_qs, u"Shift_JIS"_qs, true,
         {u"新しいフォルダー/"_qs, u"報告書.docx"_qs, u"写真/旅行の思い出.jpg"_qs,
          u"議事録_2023年4月.txt"_qs, u"見積書（改訂版）.xlsx"_qs, u"説明書.pdf"_qs,
          u"データ.csv"_qs}},
        {u"Japanese, Shift JIS, kanji only"_qs, u"Shift_JIS"_qs, true,
         {u"資料/"_qs, u"資料/会議.doc"_qs, u"予定表.xls"_qs, u"社員名簿.xls"_qs}},
        {u"Russian, CP866"_qs, u"IBM866"_qs, true, russian()},
        {u"Russian, CP866, lower case"_qs, u"IBM866"_qs, true, russianLowerCase()},
        {u"English with loan words, CP437"_qs, u"IBM437"_qs, true,
         {u"Café menu.txt"_qs, u"Résumé.docx"_qs, u"Piñata party.jpg"_qs,
          u"Crème brûlée recipe.doc"_qs, u"notes.txt"_qs}},
        {u"German, CP850"_qs, u"IBM850"_qs, true,
         {u"Übersicht.xlsx"_qs, u"Größe und Maße.txt"_qs, u"Straße/"_qs,
          u"Straße/Häuser.jpg"_qs, u"Bücher.pdf"_qs, u"Änderungen.docx"_qs}},
        {u"French, CP850"_qs, u"IBM850"_qs, true,
         {u"Café/"_qs, u"Résumé de la réunion.docx"_qs, u"Déjà vu.txt"_qs, u"Été 2023/"_qs,
          u"Été 2023/Plage à Nice.jpg"_qs, u"Français.pdf"_qs, u"Noël.png"_qs}},
        {u"Danish, CP850"_qs, u"IBM850"_qs, true,
         {u"Ødegaard/"_qs, u"Ødegaard/Årsrapport.pdf"_qs, u"Smørrebrød.jpg"_qs}},
        {u"Polish and Czech, CP852"_qs, u"IBM852"_qs, true,
         {u"Zdjęcia/"_qs, u"Zdjęcia/Łódź.jpg"_qs, u"Sprawozdanie końcowe.docx"_qs,
          u"Příliš žluťoučký kůň.txt"_qs}},
        {u"Korean, CP949"_qs, u"windows-949"_qs, true,
         {u"새 폴더/"_qs, u"새 폴더/보고서.docx"_qs, u"사진/여행.jpg"_qs, u"회의록 2023.txt"_qs,
          u"견적서(수정).xlsx"_qs, u"계약서.pdf"_qs, u"똠방각하.txt"_qs}},
        {u"Chinese traditional, Big5"_qs, u"Big5"_qs, true,
         {u"新增資料夾/"_qs, u"新增資料夾/報告.docx"_qs, u"照片/旅遊.jpg"_qs, u"會議記錄.txt"_qs,
          u"財務報表.xlsx"_qs, u"說明書.pdf"_qs}},
        {u"Greek, CP737"_qs, u"ibm-737"_qs, true,
         {u"Έγγραφα/"_qs, u"Έγγραφα/Αναφορά.doc"_qs, u"Φωτογραφίες.jpg"_qs}},
        {u"Hebrew, CP862"_qs, u"IBM862"_qs, true,
         {u"מסמכים/"_qs, u"מסמכים/דוח שנתי.doc"_qs, u"תמונות.jpg"_qs}},
        {u"Russian, windows-1251, Unix"_qs, u"windows-1251"_qs, false, russian()},
        {u"Russian, windows-1251, Windows tool"_qs, u"windows-1251"_qs, true, russian()},
        {u"Russian, windows-1251, lower case"_qs, u"windows-1251"_qs, false, russianLowerCase()},
        {u"Russian, KOI8-R"_qs, u"KOI8-R"_qs, false, russian().mid(0, 5)},
        {u"Russian, KOI8-R, lower case"_qs, u"KOI8-R"_qs, false, russianLowerCase()},
        {u"Western, windows-1252, Unix"_qs, u"windows-1252"_qs, false,
         {u"Café/"_qs, u"Résumé.docx"_qs, u"Übersicht.xlsx"_qs, u"Straße.txt"_qs}},
        {u"Japanese, EUC-JP, Unix"_qs, u"EUC-JP"_qs, false,
         {u"新しいフォルダー/"_qs, u"報告書.txt"_qs, u"写真/旅行の思い出.jpg"_qs}},
        {u"Chinese, GBK, Unix"_qs, u"GBK"_qs, false,
         {u"新建文件夹/"_qs, u"工作报告.docx"_qs, u"照片/春节联欢.jpg"_qs}},
        {u"One Chinese name"_qs, u"GBK"_qs, true, {u"报告.txt"_qs}},
        {u"One Japanese name"_qs, u"Shift_JIS"_qs, true, {u"資料.txt"_qs}},
        {u"One accented name"_qs, u"IBM850"_qs, true, {u"Café.txt"_qs, u"readme.txt"_qs}},
    };
}
