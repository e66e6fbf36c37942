<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en">
<context>
    <name></name>
    <message id="unarchive">
        <source>Unarchive</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="ad.url">
        <source>https://quillbox.app/apps</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_window_title">
        <source>How to Use Quillbox</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_ways_title">
        <source>Three ways to open an archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_way_drop_title">
        <source>Drop it on the window</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_way_drop">
        <source>Drag one or more archives from your file manager onto the Quillbox window.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_way_open_title">
        <source>Pick it in the Open dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_way_open">
        <source>Click Open Archive in the window, or choose Open from the menu, and select as many archives as you like.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_way_openwith_title">
        <source>Open it with Quillbox</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_way_openwith">
        <source>In your file manager, right-click an archive and choose Open With, then Quillbox.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_dest_title">
        <source>Where the files go</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_dest_text">
        <source>Each archive is extracted next to itself unless you pick the desktop or a folder of your own in Preferences. Nothing already there is overwritten. Preferences also decide whether the files are shown when an archive is done and whether Quillbox quits after the last one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompts_title">
        <source>When Quillbox asks</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompt_password_title">
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompt_password">
        <source>A protected archive asks for its password before anything is extracted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompt_encoding_title">
        <source>File-name encoding</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompt_encoding">
        <source>When the names inside an archive could be read more than one way, choose the encoding whose preview looks right.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompt_error_title">
        <source>Errors</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_prompt_error">
        <source>If an archive cannot be extracted, Quillbox says why and removes what was half done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_close">
        <source>Got It</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_headline">
        <source>Welcome to Quillbox</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="desc_subtitle">
        <source>Archives in, files out: one drop is all it takes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="tip">
        <source>Enjoying Quillbox?</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="comment_info">
        <source>If Quillbox saves you time, a short review helps others find it. It only takes a minute.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="comment_go">
        <source>Write a Review</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="comment_next">
        <source>Not Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="file_error_info">
        <source>“%1” could not be extracted. </source>
        <translation type="unfinished"></translation>
    </message>
    <message id="move_error_info">
        <source>“%1” was extracted, but the result could not be moved into “%2”. It was kept at “%3”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="drag_tip">
        <source>Drop archives here</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="write_review">
        <source>Write a review</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="btn_open_archive">
        <source>Open Archive…</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="more_apps">
        <source>More Apps</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="settings">
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="encoding_none">
        <source>No encoding can read these names</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="encoding_title">
        <source>Choose Encoding</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="encoding_info">
        <source>The file names in “%1” use a text encoding that could not be recognized. Choose the encoding in which they read correctly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="error_title">
        <source>Extraction Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="error_info">
        <source>The archive could not be extracted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="psd_title">
        <source>Password Required</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="psd_info">
        <source>This archive is protected by a password. Enter the password to extract it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="rar_preference">
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_label_saveto">
        <source>Save files to:</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_label_complete">
        <source>When done:</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_openfolder">
        <source>Show the extracted files in the file manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_exit">
        <source>Quit Quillbox when all archives are extracted</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_to_currentfolder">
        <source>Next to the archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_to_desktop">
        <source>Desktop</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_to_select">
        <source>Choose Another Folder…</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_select_title">
        <source>Choose a Folder for Extracted Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="pref_select_button">
        <source>Choose</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="sure">
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="cancel">
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="unarchiving">
        <source>Unarchiving %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="copying">
        <source>Copying “%1” to “%2”</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="No error.">
        <source>No error.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive could not be opened.">
        <source>The archive could not be opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The file is not an archive, or its format is not supported.">
        <source>The file is not an archive, or its format is not supported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive is damaged or incomplete.">
        <source>The archive is damaged or incomplete.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive is damaged: a checksum does not match.">
        <source>The archive is damaged: a checksum does not match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The password is wrong.">
        <source>The password is wrong.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive is encrypted in a way that cannot be decrypted here.">
        <source>The archive is encrypted in a way that cannot be decrypted here.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive uses a compression method that is not supported.">
        <source>The archive uses a compression method that is not supported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="A file could not be written. The disk may be full.">
        <source>A file could not be written. The disk may be full.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="Extraction was cancelled.">
        <source>Extraction was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="An entry would have been written outside the destination folder.">
        <source>An entry would have been written outside the destination folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="An entry of a kind that cannot be extracted was skipped.">
        <source>An entry of a kind that cannot be extracted was skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive is damaged.">
        <source>The archive is damaged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The archive contains nothing to extract.">
        <source>The archive contains nothing to extract.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="No text encoding was chosen for the file names.">
        <source>No text encoding was chosen for the file names.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="A name in the archive is too long or too deeply nested.">
        <source>A name in the archive is too long or too deeply nested.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="An unknown error occurred.">
        <source>An unknown error occurred.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_hideothers">
        <source>Hide Others</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_about">
        <source>About %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="about_text">
        <source>Extracts archives: drop them on the window, pick them in the Open dialog, or open them with Quillbox from the file manager.</source>
        <oldsource>Version %1
Extracts archives: drop them on the window or open them with Quillbox.</oldsource>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_hide">
        <source>Hide %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_quit">
        <source>Quit %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_pref">
        <source>Preferences…</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_open">
        <source>Open…</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_file">
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_help">
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_howto">
        <source>How to Use Quillbox</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_comment">
        <source>Write a Review</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_support">
        <source>Quillbox Support</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_vantor">
        <source>Get Vantor</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="menu_miravel">
        <source>Get Miravel</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="tray_show">
        <source>Show %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="about_version">
        <source>Version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="space_error_info">
        <source>“%1” needs %2 of free space in “%3”, but only %4 is free.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="A volume of the archive is missing.">
        <source>A volume of the archive is missing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="A volume of the archive is damaged, incomplete or belongs to another archive.">
        <source>A volume of the archive is damaged, incomplete or belongs to another archive.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="This is a later volume of a set; the set is extracted from its first volume.">
        <source>This is a later volume of a set; the set is extracted from its first volume.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The volume “%1” is missing.">
        <source>The volume “%1” is missing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="The volume “%1” is damaged, incomplete or belongs to another archive.">
        <source>The volume “%1” is damaged, incomplete or belongs to another archive.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="This is a later volume of a set; the set is extracted from its first volume, “%1”.">
        <source>This is a later volume of a set; the set is extracted from its first volume, “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="“%1” is damaged: its checksum does not match.">
        <source>“%1” is damaged: its checksum does not match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="“%1” is damaged or incomplete.">
        <source>“%1” is damaged or incomplete.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="Quillbox's archive reader stopped unexpectedly. The archive may be damaged or too large to read.">
        <source>Quillbox&apos;s archive reader stopped unexpectedly. The archive may be damaged or too large to read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="encoding_no_font">
        <source>(no font on this computer can show this name)</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="banner_tagline">
        <source>From the Quillbox team</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="banner_get">
        <source>Get it</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
