<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name></name>
    <message id="unarchive">
        <source>Unarchive</source>
        <translation>解压</translation>
    </message>
    <message id="ad.url">
        <source>https://quillbox.app/apps</source>
        <translation>https://quillbox.app/apps</translation>
    </message>
    <message id="desc_window_title">
        <source>How to Use Quillbox</source>
        <translation>Quillbox 使用说明</translation>
    </message>
    <message id="desc_ways_title">
        <source>Three ways to open an archive</source>
        <translation>打开归档的三种方式</translation>
    </message>
    <message id="desc_way_drop_title">
        <source>Drop it on the window</source>
        <translation>拖到窗口上</translation>
    </message>
    <message id="desc_way_drop">
        <source>Drag one or more archives from your file manager onto the Quillbox window.</source>
        <translation>从文件管理器中把一个或多个归档拖到 Quillbox 窗口上。</translation>
    </message>
    <message id="desc_way_open_title">
        <source>Pick it in the Open dialog</source>
        <translation>在“打开”对话框中选择</translation>
    </message>
    <message id="desc_way_open">
        <source>Click Open Archive in the window, or choose Open from the menu, and select as many archives as you like.</source>
        <translation>点击窗口中的“打开归档”，或在菜单中选择“打开”，然后选择任意数量的归档。</translation>
    </message>
    <message id="desc_way_openwith_title">
        <source>Open it with Quillbox</source>
        <translation>用 Quillbox 打开</translation>
    </message>
    <message id="desc_way_openwith">
        <source>In your file manager, right-click an archive and choose Open With, then Quillbox.</source>
        <translation>在文件管理器中右键点击归档，选择“打开方式”，再选择 Quillbox。</translation>
    </message>
    <message id="desc_dest_title">
        <source>Where the files go</source>
        <translation>文件放在哪里</translation>
    </message>
    <message id="desc_dest_text">
        <source>Each archive is extracted next to itself unless you pick the desktop or a folder of your own in Preferences. Nothing already there is overwritten. Preferences also decide whether the files are shown when an archive is done and whether Quillbox quits after the last one.</source>
        <translation>每个归档都解压到它所在的文件夹，除非您在偏好设置中选择了桌面或自己指定的文件夹。已有的文件不会被覆盖。偏好设置还可以决定归档解压完成后是否显示文件，以及最后一个归档完成后是否退出 Quillbox。</translation>
    </message>
    <message id="desc_prompts_title">
        <source>When Quillbox asks</source>
        <translation>Quillbox 何时会询问您</translation>
    </message>
    <message id="desc_prompt_password_title">
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message id="desc_prompt_password">
        <source>A protected archive asks for its password before anything is extracted.</source>
        <translation>受密码保护的归档会在解压前询问密码。</translation>
    </message>
    <message id="desc_prompt_encoding_title">
        <source>File-name encoding</source>
        <translation>文件名编码</translation>
    </message>
    <message id="desc_prompt_encoding">
        <source>When the names inside an archive could be read more than one way, choose the encoding whose preview looks right.</source>
        <translation>如果归档中的文件名有多种读法，请选择预览显示正确的那种编码。</translation>
    </message>
    <message id="desc_prompt_error_title">
        <source>Errors</source>
        <translation>错误</translation>
    </message>
    <message id="desc_prompt_error">
        <source>If an archive cannot be extracted, Quillbox says why and removes what was half done.</source>
        <translation>如果归档无法解压，Quillbox 会说明原因，并清除解压了一半的内容。</translation>
    </message>
    <message id="desc_close">
        <source>Got It</source>
        <translation>知道了</translation>
    </message>
    <message id="desc_headline">
        <source>Welcome to Quillbox</source>
        <translation>欢迎使用 Quillbox</translation>
    </message>
    <message id="desc_subtitle">
        <source>Archives in, files out: one drop is all it takes.</source>
        <translation>放入归档，取出文件：只需轻轻一拖。</translation>
    </message>
    <message id="tip">
        <source>Enjoying Quillbox?</source>
        <translation>喜欢 Quillbox 吗？</translation>
    </message>
    <message id="comment_info">
        <source>If Quillbox saves you time, a short review helps others find it. It only takes a minute.</source>
        <translation>如果 Quillbox 为您节省了时间，写一条简短的评价可以帮助更多人找到它。只需一分钟。</translation>
    </message>
    <message id="comment_go">
        <source>Write a Review</source>
        <translation>去评价</translation>
    </message>
    <message id="comment_next">
        <source>Not Now</source>
        <translation>以后再说</translation>
    </message>
    <message id="file_error_info">
        <source>“%1” could not be extracted. </source>
        <translation>无法解压“%1”。</translation>
    </message>
    <message id="move_error_info">
        <source>“%1” was extracted, but the result could not be moved into “%2”. It was kept at “%3”.</source>
        <translation>“%1”已解压，但结果无法移动到“%2”，已保留在“%3”。</translation>
    </message>
    <message id="drag_tip">
        <source>Drop archives here</source>
        <translation>将归档拖到这里</translation>
    </message>
    <message id="write_review">
        <source>Write a review</source>
        <translation>写评价</translation>
    </message>
    <message id="btn_open_archive">
        <source>Open Archive…</source>
        <translation>打开归档…</translation>
    </message>
    <message id="more_apps">
        <source>More Apps</source>
        <translation>更多应用</translation>
    </message>
    <message id="settings">
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message id="encoding_none">
        <source>No encoding can read these names</source>
        <translation>没有能读取这些文件名的编码</translation>
    </message>
    <message id="encoding_title">
        <source>Choose Encoding</source>
        <translation>选择编码</translation>
    </message>
    <message id="encoding_info">
        <source>The file names in “%1” use a text encoding that could not be recognized. Choose the encoding in which they read correctly.</source>
        <translation>“%1”中的文件名使用了无法识别的文本编码。请选择能正确显示文件名的编码。</translation>
    </message>
    <message id="error_title">
        <source>Extraction Failed</source>
        <translation>解压失败</translation>
    </message>
    <message id="error_info">
        <source>The archive could not be extracted.</source>
        <translation>无法解压此归档。</translation>
    </message>
    <message id="psd_title">
        <source>Password Required</source>
        <translation>需要密码</translation>
    </message>
    <message id="psd_info">
        <source>This archive is protected by a password. Enter the password to extract it.</source>
        <translation>此归档受密码保护。请输入密码以解压。</translation>
    </message>
    <message id="rar_preference">
        <source>Preferences</source>
        <translation>偏好设置</translation>
    </message>
    <message id="pref_label_saveto">
        <source>Save files to:</source>
        <translation>文件保存到：</translation>
    </message>
    <message id="pref_label_complete">
        <source>When done:</source>
        <translation>完成后：</translation>
    </message>
    <message id="pref_openfolder">
        <source>Show the extracted files in the file manager</source>
        <translation>在文件管理器中显示解压出的文件</translation>
    </message>
    <message id="pref_exit">
        <source>Quit Quillbox when all archives are extracted</source>
        <translation>所有归档解压完成后退出 Quillbox</translation>
    </message>
    <message id="pref_to_currentfolder">
        <source>Next to the archive</source>
        <translation>归档所在的文件夹</translation>
    </message>
    <message id="pref_to_desktop">
        <source>Desktop</source>
        <translation>桌面</translation>
    </message>
    <message id="pref_to_select">
        <source>Choose Another Folder…</source>
        <translation>选择其他文件夹…</translation>
    </message>
    <message id="pref_select_title">
        <source>Choose a Folder for Extracted Files</source>
        <translation>选择存放解压文件的文件夹</translation>
    </message>
    <message id="pref_select_button">
        <source>Choose</source>
        <translation>选择</translation>
    </message>
    <message id="sure">
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message id="cancel">
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message id="unarchiving">
        <source>Unarchiving %1</source>
        <translation>正在解压 %1</translation>
    </message>
    <message id="copying">
        <source>Copying “%1” to “%2”</source>
        <translation>正在将“%1”复制到“%2”</translation>
    </message>
    <message id="No error.">
        <source>No error.</source>
        <translation>没有错误。</translation>
    </message>
    <message id="The archive could not be opened.">
        <source>The archive could not be opened.</source>
        <translation>无法打开归档。</translation>
    </message>
    <message id="The file is not an archive, or its format is not supported.">
        <source>The file is not an archive, or its format is not supported.</source>
        <translation>该文件不是归档，或其格式不受支持。</translation>
    </message>
    <message id="The archive is damaged or incomplete.">
        <source>The archive is damaged or incomplete.</source>
        <translation>归档已损坏或不完整。</translation>
    </message>
    <message id="The archive is damaged: a checksum does not match.">
        <source>The archive is damaged: a checksum does not match.</source>
        <translation>归档已损坏：校验和不匹配。</translation>
    </message>
    <message id="The password is wrong.">
        <source>The password is wrong.</source>
        <translation>密码错误。</translation>
    </message>
    <message id="The archive is encrypted in a way that cannot be decrypted here.">
        <source>The archive is encrypted in a way that cannot be decrypted here.</source>
        <translation>归档的加密方式无法在此解密。</translation>
    </message>
    <message id="The archive uses a compression method that is not supported.">
        <source>The archive uses a compression method that is not supported.</source>
        <translation>归档使用了不受支持的压缩方法。</translation>
    </message>
    <message id="A file could not be written. The disk may be full.">
        <source>A file could not be written. The disk may be full.</source>
        <translation>无法写入文件，磁盘可能已满。</translation>
    </message>
    <message id="Extraction was cancelled.">
        <source>Extraction was cancelled.</source>
        <translation>解压已取消。</translation>
    </message>
    <message id="An entry would have been written outside the destination folder.">
        <source>An entry would have been written outside the destination folder.</source>
        <translation>有一项内容会被写到目标文件夹之外。</translation>
    </message>
    <message id="An entry of a kind that cannot be extracted was skipped.">
        <source>An entry of a kind that cannot be extracted was skipped.</source>
        <translation>已跳过一项无法解压的特殊内容。</translation>
    </message>
    <message id="The archive is damaged.">
        <source>The archive is damaged.</source>
        <translation>归档已损坏。</translation>
    </message>
    <message id="The archive contains nothing to extract.">
        <source>The archive contains nothing to extract.</source>
        <translation>归档中没有可解压的内容。</translation>
    </message>
    <message id="No text encoding was chosen for the file names.">
        <source>No text encoding was chosen for the file names.</source>
        <translation>未为文件名选择文本编码。</translation>
    </message>
    <message id="A name in the archive is too long or too deeply nested.">
        <source>A name in the archive is too long or too deeply nested.</source>
        <translation>归档中的某个名称过长或嵌套过深。</translation>
    </message>
    <message id="An unknown error occurred.">
        <source>An unknown error occurred.</source>
        <translation>发生未知错误。</translation>
    </message>
    <message id="menu_hideothers">
        <source>Hide Others</source>
        <translation>隐藏其他</translation>
    </message>
    <message id="menu_about">
        <source>About %1</source>
        <translation>关于 %1</translation>
    </message>
    <message id="about_text">
        <source>Extracts archives: drop them on the window, pick them in the Open dialog, or open them with Quillbox from the file manager.</source>
        <oldsource>Version %1
Extracts archives: drop them on the window or open them with Quillbox.</oldsource>
        <translation>解压归档：把归档拖到窗口上、在“打开”对话框中选择，或在文件管理器中用 Quillbox 打开。</translation>
    </message>
    <message id="menu_hide">
        <source>Hide %1</source>
        <translation>隐藏 %1</translation>
    </message>
    <message id="menu_quit">
        <source>Quit %1</source>
        <translation>退出 %1</translation>
    </message>
    <message id="menu_pref">
        <source>Preferences…</source>
        <translation>偏好设置…</translation>
    </message>
    <message id="menu_open">
        <source>Open…</source>
        <translation>打开…</translation>
    </message>
    <message id="menu_file">
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message id="menu_help">
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message id="menu_howto">
        <source>How to Use Quillbox</source>
        <translation>Quillbox 使用说明</translation>
    </message>
    <message id="menu_comment">
        <source>Write a Review</source>
        <translation>写评价</translation>
    </message>
    <message id="menu_support">
        <source>Quillbox Support</source>
        <translation>Quillbox 支持</translation>
    </message>
    <message id="menu_vantor">
        <source>Get Vantor</source>
        <translation>获取 Vantor</translation>
    </message>
    <message id="menu_miravel">
        <source>Get Miravel</source>
        <translation>获取 Miravel</translation>
    </message>
    <message id="tray_show">
        <source>Show %1</source>
        <translation>显示 %1</translation>
    </message>
    <message id="about_version">
        <source>Version %1</source>
        <translation>版本 %1</translation>
    </message>
    <message id="space_error_info">
        <source>“%1” needs %2 of free space in “%3”, but only %4 is free.</source>
        <translation>“%1”需要“%3”中有 %2 的可用空间，但只有 %4 可用。</translation>
    </message>
    <message id="A volume of the archive is missing.">
        <source>A volume of the archive is missing.</source>
        <translation>归档缺少一个分卷。</translation>
    </message>
    <message id="A volume of the archive is damaged, incomplete or belongs to another archive.">
        <source>A volume of the archive is damaged, incomplete or belongs to another archive.</source>
        <translation>归档的一个分卷已损坏、不完整或属于另一个归档。</translation>
    </message>
    <message id="This is a later volume of a set; the set is extracted from its first volume.">
        <source>This is a later volume of a set; the set is extracted from its first volume.</source>
        <translation>这是分卷归档中靠后的一卷；请从第一卷解压整个归档。</translation>
    </message>
    <message id="The volume “%1” is missing.">
        <source>The volume “%1” is missing.</source>
        <translation>缺少分卷“%1”。</translation>
    </message>
    <message id="The volume “%1” is damaged, incomplete or belongs to another archive.">
        <source>The volume “%1” is damaged, incomplete or belongs to another archive.</source>
        <translation>分卷“%1”已损坏、不完整或属于另一个归档。</translation>
    </message>
    <message id="This is a later volume of a set; the set is extracted from its first volume, “%1”.">
        <source>This is a later volume of a set; the set is extracted from its first volume, “%1”.</source>
        <translation>这是分卷归档中靠后的一卷；请从第一卷“%1”解压整个归档。</translation>
    </message>
    <message id="“%1” is damaged: its checksum does not match.">
        <source>“%1” is damaged: its checksum does not match.</source>
        <translation>“%1”已损坏：校验和不匹配。</translation>
    </message>
    <message id="“%1” is damaged or incomplete.">
        <source>“%1” is damaged or incomplete.</source>
        <translation>“%1”已损坏或不完整。</translation>
    </message>
    <message id="Quillbox's archive reader stopped unexpectedly. The archive may be damaged or too large to read.">
        <source>Quillbox&apos;s archive reader stopped unexpectedly. The archive may be damaged or too large to read.</source>
        <translation>Quillbox 的归档读取程序意外停止。归档可能已损坏，或太大而无法读取。</translation>
    </message>
    <message id="encoding_no_font">
        <source>(no font on this computer can show this name)</source>
        <translation>（本机没有能显示此名称的字体）</translation>
    </message>
    <message id="banner_tagline">
        <source>From the Quillbox team</source>
        <translation>来自 Quillbox 团队</translation>
    </message>
    <message id="banner_get">
        <source>Get it</source>
        <translation>获取</translation>
    </message>
</context>
</TS>
