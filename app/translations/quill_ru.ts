<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<context>
    <name>quill::TForm1</name>
    <message>
        <source>%1 s</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 мин %2 с</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 ч %2 мин</translation>
    </message>
    <message>
        <source>Cancelled: %1 of %2 document converted.</source>
        <translation>Отменено. Преобразовано документов: %1 из %2.</translation>
    </message>
    <message>
        <source>Cancelled: %1 of %2 documents converted.</source>
        <translation>Отменено. Преобразовано документов: %1 из %2.</translation>
    </message>
    <message>
        <source>%1 document converted.</source>
        <translation>Преобразовано документов: %1.</translation>
    </message>
    <message>
        <source>%1 documents converted.</source>
        <translation>Преобразовано документов: %1.</translation>
    </message>
    <message>
        <source>%1 failure:</source>
        <translation>Ошибки (%1):</translation>
    </message>
    <message>
        <source>%1 failures:</source>
        <translation>Ошибки (%1):</translation>
    </message>
    <message>
        <source>Convert to HTML</source>
        <translation>Преобразовать в HTML</translation>
    </message>
    <message>
        <source>use BMP pictures</source>
        <translation>рисунки в BMP</translation>
    </message>
    <message>
        <source>use PNG pictures</source>
        <translation>рисунки в PNG</translation>
    </message>
    <message>
        <source>42 pitch</source>
        <translation>шаг 42</translation>
    </message>
    <message>
        <source>use colors</source>
        <translation>в цвете</translation>
    </message>
    <message>
        <source>Vornik-&gt;HTML convertor</source>
        <translation>Конвертер Vornik-&gt;HTML</translation>
    </message>
    <message>
        <source>Vornik v0.58 text files (*)</source>
        <translation>Текстовые файлы Vornik v0.58 (*)</translation>
    </message>
    <message>
        <source>html (*.htm *.html)</source>
        <translation>Страницы HTML (*.htm *.html)</translation>
    </message>
    <message>
        <source>Folder for the web pages</source>
        <translation>Папка для веб-страниц</translation>
    </message>
    <message>
        <source>Cancelling: removing the unfinished files…</source>
        <translation>Отмена: удаляются недописанные файлы…</translation>
    </message>
    <message>
        <source>%1 of %2 documents done</source>
        <translation>Готово документов: %1 из %2</translation>
    </message>
    <message>
        <source>Now: %1</source>
        <translation>Сейчас: %1</translation>
    </message>
    <message>
        <source>Time left: estimating</source>
        <translation>Осталось: оценивается</translation>
    </message>
    <message>
        <source>Time left: less than a second</source>
        <translation>Осталось: меньше секунды</translation>
    </message>
    <message>
        <source>Time left: %1</source>
        <translation>Осталось: %1</translation>
    </message>
</context>
</TS>
