<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>OpcQuality</name>
    <message>
        <source>config error</source>
        <translation>config error</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>not connected</translation>
    </message>
    <message>
        <source>device failure</source>
        <translation>device failure</translation>
    </message>
    <message>
        <source>sensor failure</source>
        <translation>sensor failure</translation>
    </message>
    <message>
        <source>last known value</source>
        <translation>last known value</translation>
    </message>
    <message>
        <source>comm failure</source>
        <translation>comm failure</translation>
    </message>
    <message>
        <source>out of service</source>
        <translation>out of service</translation>
    </message>
    <message>
        <source>waiting for initial data</source>
        <translation>waiting for initial data</translation>
    </message>
    <message>
        <source>configuration error</source>
        <translation>configuration error</translation>
    </message>
    <message>
        <source>unknown sub-status</source>
        <translation>unknown sub-status</translation>
    </message>
    <message>
        <source>last usable value</source>
        <translation>last usable value</translation>
    </message>
    <message>
        <source>sensor not accurate</source>
        <translation>sensor not accurate</translation>
    </message>
    <message>
        <source>EU units exceeded</source>
        <translation>EU units exceeded</translation>
    </message>
    <message>
        <source>sub-normal</source>
        <translation>sub-normal</translation>
    </message>
    <message>
        <source>engineering units exceeded</source>
        <translation>engineering units exceeded</translation>
    </message>
    <message>
        <source>local override</source>
        <translation>local override</translation>
    </message>
    <message>
        <source>low limited</source>
        <translation>low limited</translation>
    </message>
    <message>
        <source>high limited</source>
        <translation>high limited</translation>
    </message>
    <message>
        <source>constant</source>
        <translation>constant</translation>
    </message>
</context>
<context>
    <name>PropertyCaption</name>
    <message>
        <source>记录缓存数量</source>
        <translation>Buffered statements</translation>
    </message>
    <message>
        <source>记录缓存时间</source>
        <translation>Buffer time</translation>
    </message>
    <message>
        <source>数据库连接参数</source>
        <translation>Database connection</translation>
    </message>
    <message>
        <source>OPC连接参数</source>
        <translation>OPC connection</translation>
    </message>
    <message>
        <source>描述</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>数据值死区</source>
        <translation>Deadband</translation>
    </message>
    <message>
        <source>时间字段</source>
        <translation>Time column</translation>
    </message>
    <message>
        <source>时间字段类型</source>
        <translation>Time column type</translation>
    </message>
    <message>
        <source>标志字段</source>
        <translation>Key column</translation>
    </message>
    <message>
        <source>标志字段类型</source>
        <translation>Key column type</translation>
    </message>
    <message>
        <source>数据记录间隔</source>
        <translation>Record interval</translation>
    </message>
    <message>
        <source>数据记录方式</source>
        <translation>Record type</translation>
    </message>
    <message>
        <source>记录时间来源</source>
        <translation>Record time source</translation>
    </message>
    <message>
        <source>时区</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source>时间精度</source>
        <translation>Time precision</translation>
    </message>
    <message>
        <source>表名</source>
        <translation>Table name</translation>
    </message>
    <message>
        <source>表类型</source>
        <translation>Table type</translation>
    </message>
    <message>
        <source>OPC采集间隔</source>
        <translation>OPC update rate</translation>
    </message>
    <message>
        <source>数据采集方式</source>
        <translation>Trigger type</translation>
    </message>
    <message>
        <source>缺省值</source>
        <translation>Default value</translation>
    </message>
    <message>
        <source>计算表达式</source>
        <translation>Expression</translation>
    </message>
    <message>
        <source>数据字段名称</source>
        <translation>Column name</translation>
    </message>
    <message>
        <source>数据字段类型</source>
        <translation>Column type</translation>
    </message>
    <message>
        <source>数据获取方式</source>
        <translation>Value source</translation>
    </message>
    <message>
        <source>OPC标签名称</source>
        <translation>OPC item</translation>
    </message>
    <message>
        <source>记录标志</source>
        <translation>Record key</translation>
    </message>
</context>
<context>
    <name>tagsink::app::Main</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法初始化OPC!</source>
        <translation>Cannot initialise OPC!</translation>
    </message>
</context>
<context>
    <name>tagsink::app::Prompts</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>tagsink::app::Quality</name>
    <message>
        <source>Good</source>
        <translation>Good</translation>
    </message>
    <message>
        <source>Uncertain</source>
        <translation>Uncertain</translation>
    </message>
    <message>
        <source>Bad</source>
        <translation>Bad</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TAbout</name>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>符合OPC数据访问服务器规范 1.0-3.0 </source>
        <translation>Works with OPC Data Access servers 1.0-3.0 </translation>
    </message>
    <message>
        <source>Tagsink project</source>
        <translation>Tagsink project</translation>
    </message>
    <message>
        <source>OPC values into database tables</source>
        <translation>OPC values into database tables</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TCheckView</name>
    <message>
        <source>检查结果</source>
        <translation>Check results</translation>
    </message>
    <message>
        <source>对象</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Finding</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Errors</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warnings</translation>
    </message>
    <message>
        <source>正在检查 %1 ...</source>
        <translation>Checking %1 ...</translation>
    </message>
    <message>
        <source>错误 (%1)</source>
        <translation>Errors (%1)</translation>
    </message>
    <message>
        <source>警告 (%1)</source>
        <translation>Warnings (%1)</translation>
    </message>
    <message>
        <source>检查未能完成: %1</source>
        <translation>The check could not finish: %1</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TConnectionBuilder</name>
    <message>
        <source>连接成功 (connection opened)</source>
        <translation>Connection opened</translation>
    </message>
    <message>
        <source>The connection did not open.</source>
        <translation>The connection did not open.</translation>
    </message>
    <message>
        <source>构造连接字符串</source>
        <translation>Build connection string</translation>
    </message>
    <message>
        <source>(default)</source>
        <translation>(default)</translation>
    </message>
    <message>
        <source>驱动程序 (Driver)</source>
        <translation>Driver</translation>
    </message>
    <message>
        <source>数据源 (DSN)</source>
        <translation>Data source (DSN)</translation>
    </message>
    <message>
        <source>服务器 (Server)</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>端口 (Port)</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>数据库 (Database)</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>用户 (User)</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密码 (Password)</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>SQLite 文件 (File)</source>
        <translation>SQLite file</translation>
    </message>
    <message>
        <source>测试连接</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TDatabaseBrowser</name>
    <message>
        <source>ADO连接参数设置</source>
        <translation>Database connection</translation>
    </message>
    <message>
        <source>设置信息</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>构造</source>
        <translation>Build...</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tagsink::app::THealthPanel</name>
    <message>
        <source>Statements the database accepted</source>
        <translation>Statements the database accepted</translation>
    </message>
    <message>
        <source>Statements waiting for the database</source>
        <translation>Statements waiting for the database</translation>
    </message>
    <message>
        <source>Statements kept in the buffer file &quot;sql.dat&quot; until the database can be reached</source>
        <translation>Statements kept in the buffer file &quot;sql.dat&quot; until the database can be reached</translation>
    </message>
    <message>
        <source>Statements the database refused, set aside in &quot;sql.rejected&quot;</source>
        <translation>Statements the database refused, set aside in &quot;sql.rejected&quot;</translation>
    </message>
    <message>
        <source>Failed database or disk operations since the start</source>
        <translation>Failed database or disk operations since the start</translation>
    </message>
    <message>
        <source>Statements that could be kept nowhere</source>
        <translation>Statements that could be kept nowhere</translation>
    </message>
    <message>
        <source>Executed %1</source>
        <translation>Executed %1</translation>
    </message>
    <message>
        <source>Waiting %1</source>
        <translation>Waiting %1</translation>
    </message>
    <message>
        <source>In sql.dat %1</source>
        <translation>In sql.dat %1</translation>
    </message>
    <message>
        <source>Quarantined %1</source>
        <translation>Quarantined %1</translation>
    </message>
    <message>
        <source>Failures %1</source>
        <translation>Failures %1</translation>
    </message>
    <message>
        <source>Lost %1</source>
        <translation>Lost %1</translation>
    </message>
    <message>
        <source>No error</source>
        <translation>No error</translation>
    </message>
    <message>
        <source>Last error %1: %2</source>
        <translation>Last error %1: %2</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TItemBrowser</name>
    <message>
        <source>标签浏览器</source>
        <translation>Item browser</translation>
    </message>
    <message>
        <source>标签名称</source>
        <translation>Item ID</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TLogView</name>
    <message>
        <source>Log</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>Older lines were dropped: the view keeps the most recent %1 lines.</source>
        <translation>Older lines were dropped: the view keeps the most recent %1 lines.</translation>
    </message>
    <message>
        <source>Cannot write the log to %1: %2</source>
        <translation>Cannot write the log to %1: %2</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TMain</name>
    <message>
        <source>日志导出</source>
        <translation>Export log</translation>
    </message>
    <message>
        <source>log files (*.log)</source>
        <translation>log files (*.log)</translation>
    </message>
    <message>
        <source>保存(&amp;Save)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>保存配置信息</source>
        <translation>Save the project</translation>
    </message>
    <message>
        <source>恢复显示(&amp;Restore)</source>
        <translation>&amp;Restore</translation>
    </message>
    <message>
        <source>恢复显示</source>
        <translation>Show the window</translation>
    </message>
    <message>
        <source>退出系统(E&amp;xit)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>退出系统</source>
        <translation>Exit the program</translation>
    </message>
    <message>
        <source>增加(&amp;Add)</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>增加子项目</source>
        <translation>Add a group or item</translation>
    </message>
    <message>
        <source>删除(&amp;Delete)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>删除选中项目</source>
        <translation>Delete the selected object</translation>
    </message>
    <message>
        <source>清除日志(&amp;Clear)</source>
        <translation>&amp;Clear log</translation>
    </message>
    <message>
        <source>清除日志</source>
        <translation>Clear the log</translation>
    </message>
    <message>
        <source>日志导出(&amp;Export)</source>
        <translation>&amp;Export log</translation>
    </message>
    <message>
        <source>日志导出到文件</source>
        <translation>Export the log to a file</translation>
    </message>
    <message>
        <source>工具条(&amp;Toolbar)</source>
        <translation>&amp;Toolbar</translation>
    </message>
    <message>
        <source>显示工具条</source>
        <translation>Show the toolbar</translation>
    </message>
    <message>
        <source>管理器(&amp;Manager)</source>
        <translation>&amp;Project tree</translation>
    </message>
    <message>
        <source>显示项目管理器</source>
        <translation>Show the project tree</translation>
    </message>
    <message>
        <source>属性编辑器(&amp;Property)</source>
        <translation>&amp;Properties</translation>
    </message>
    <message>
        <source>显示属性编辑器</source>
        <translation>Show the properties</translation>
    </message>
    <message>
        <source>日志信息(&amp;Log)</source>
        <translation>&amp;Log</translation>
    </message>
    <message>
        <source>显示日志信息</source>
        <translation>Show the log</translation>
    </message>
    <message>
        <source>编辑模式(&amp;Edit)</source>
        <translation>&amp;Edit mode</translation>
    </message>
    <message>
        <source>切换到编辑模式</source>
        <translation>Switch to Edit mode</translation>
    </message>
    <message>
        <source>调试模式(&amp;Debug)</source>
        <translation>&amp;Debug mode</translation>
    </message>
    <message>
        <source>切换到调试模式</source>
        <translation>Switch to Debug mode</translation>
    </message>
    <message>
        <source>运行模式(&amp;Run)</source>
        <translation>&amp;Run mode</translation>
    </message>
    <message>
        <source>切换到运行模式</source>
        <translation>Switch to Run mode</translation>
    </message>
    <message>
        <source>帮助信息(&amp;Context)</source>
        <translation>&amp;Contents</translation>
    </message>
    <message>
        <source>帮助信息</source>
        <translation>Help contents</translation>
    </message>
    <message>
        <source>关于(&amp;About)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>ManagerWin</source>
        <translation>Project</translation>
    </message>
    <message>
        <source>Property </source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>OPC标签</source>
        <translation>OPC item</translation>
    </message>
    <message>
        <source>字段名</source>
        <translation>Column</translation>
    </message>
    <message>
        <source>缺省值</source>
        <translation>Default value</translation>
    </message>
    <message>
        <source>计算表达式</source>
        <translation>Expression</translation>
    </message>
    <message>
        <source>记录标志</source>
        <translation>Record key</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>质量</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>The last value received</source>
        <translation>The last value received</translation>
    </message>
    <message>
        <source>The OPC quality of the last value</source>
        <translation>The OPC quality of the last value</translation>
    </message>
    <message>
        <source>The local time stamp of the last value</source>
        <translation>The local time stamp of the last value</translation>
    </message>
    <message>
        <source>文件(&amp;File)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>文件操作</source>
        <translation>File commands</translation>
    </message>
    <message>
        <source>编辑(&amp;Edit)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>编辑操作</source>
        <translation>Edit commands</translation>
    </message>
    <message>
        <source>模式(&amp;Mode)</source>
        <translation>&amp;Mode</translation>
    </message>
    <message>
        <source>模式切换</source>
        <translation>Switch modes</translation>
    </message>
    <message>
        <source>帮助(&amp;Help)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>保存配置</source>
        <translation>Save the project</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Exit the program</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Tagsink Tool</source>
        <translation>Tagsink</translation>
    </message>
    <message>
        <source>(no value)</source>
        <translation>(no value)</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>操作密码错误!</source>
        <translation>Wrong operation password!</translation>
    </message>
    <message>
        <source>设置信息发生变化,是否保存?</source>
        <translation>The project has changed. Save it?</translation>
    </message>
    <message>
        <source>Stopping</source>
        <translation>Stopping</translation>
    </message>
    <message>
        <source>The record thread executes what it can and keeps the rest in &quot;sql.dat&quot; for the next run</source>
        <translation>The record thread executes what it can and keeps the rest in &quot;sql.dat&quot; for the next run</translation>
    </message>
    <message>
        <source>Debug</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>检查项目(&amp;Check)</source>
        <translation>&amp;Check project</translation>
    </message>
    <message>
        <source>对照OPC服务器和数据库检查项目</source>
        <translation>Check the project against its OPC server and database</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TPasswordDlg</name>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>操作密码：</source>
        <translation>Operation password:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tagsink::app::TServerBrowser</name>
    <message>
        <source>OPC服务器浏览器</source>
        <translation>OPC server browser</translation>
    </message>
    <message>
        <source>设置信息</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>主机名称</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tagsink::inspector</name>
    <message>
        <source>Unknown failure</source>
        <translation>Unknown failure</translation>
    </message>
    <message>
        <source>Invalid property value</source>
        <translation>Invalid property value</translation>
    </message>
    <message>
        <source>Value must be between %1 and %2</source>
        <translation>Value must be between %1 and %2</translation>
    </message>
    <message>
        <source>Text is longer than %1 characters</source>
        <translation>Text is longer than %1 characters</translation>
    </message>
    <message>
        <source>Unknown Type</source>
        <translation>Unknown Type</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>&apos;%1&apos; is not a valid integer value</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid floating point value</source>
        <translation>&apos;%1&apos; is not a valid floating point value</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid date</source>
        <translation>&apos;%1&apos; is not a valid date</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid time</source>
        <translation>&apos;%1&apos; is not a valid time</translation>
    </message>
    <message>
        <source>Property %1 holds no picture</source>
        <translation>Property %1 holds no picture</translation>
    </message>
    <message>
        <source>Open picture</source>
        <translation>Open picture</translation>
    </message>
    <message>
        <source>Pictures (%1)</source>
        <translation>Pictures (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Property %1 does not hold a value of the expected kind</source>
        <translation>Property %1 does not hold a value of the expected kind</translation>
    </message>
    <message>
        <source>Property %1 cannot be read</source>
        <translation>Property %1 cannot be read</translation>
    </message>
    <message>
        <source>Property %1 is read-only</source>
        <translation>Property %1 is read-only</translation>
    </message>
    <message>
        <source>Property inspector cannot inspect an object without a class</source>
        <translation>Property inspector cannot inspect an object without a class</translation>
    </message>
    <message>
        <source>Value must be between 1 and 1638</source>
        <translation>Value must be between 1 and 1638</translation>
    </message>
    <message>
        <source>Cannot load picture %1: %2</source>
        <translation>Cannot load picture %1: %2</translation>
    </message>
</context>
<context>
    <name>tagsink::inspector::TStringsEditorDlg</name>
    <message>
        <source>确认(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文本列表编辑器</source>
        <translation>String list editor</translation>
    </message>
    <message>
        <source>行数: %1</source>
        <translation>Lines: %1</translation>
    </message>
</context>
</TS>
