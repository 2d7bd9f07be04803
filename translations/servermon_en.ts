<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AlertGate</name>
    <message>
        <source>上级服务器故障:</source>
        <translation>Parent server failing: </translation>
    </message>
    <message>
        <source>另有%1台下级服务器受影响</source>
        <translation>%1 more dependent servers affected</translation>
    </message>
    <message>
        <source>注意:服务器状态频繁变化</source>
        <translation>Note: server state changing often</translation>
    </message>
    <message>
        <source>(持续%1分钟)</source>
        <translation> (for %1 minutes)</translation>
    </message>
</context>
<context>
    <name>AppVersion</name>
    <message>
        <source>青岚服务器监控</source>
        <translation>Qinglan Server Monitor</translation>
    </message>
</context>
<context>
    <name>CatalogueColumns</name>
    <message>
        <source>目标端口必须是 1 到 65535 之间的整数！</source>
        <translation>The port must be a whole number from 1 to 65535.</translation>
    </message>
    <message>
        <source>启用监控只能是 0 或 1！</source>
        <translation>InUse must be 0 or 1.</translation>
    </message>
    <message>
        <source>响应警告(ms)必须是0到3600000之间的整数,0为不提示！</source>
        <translation>WarnMs must be a whole number from 0 to 3600000; 0 gives no warning.</translation>
    </message>
    <message>
        <source>检查方式只能是 tcp 或 http！</source>
        <translation>CheckKind must be tcp or http.</translation>
    </message>
    <message>
        <source>传输方式只能是空白、tls、starttls-smtp、starttls-imap、starttls-pop3 或 starttls-ftp！</source>
        <translation>Transport must be empty, tls, starttls-smtp, starttls-imap, starttls-pop3 or starttls-ftp.</translation>
    </message>
    <message>
        <source>忽略证书错误只能是 0 或 1！</source>
        <translation>TlsIgnoreErrors must be 0 or 1.</translation>
    </message>
    <message>
        <source>证书到期提醒(天)必须是0到3650之间的整数,0为不提醒！</source>
        <translation>CertWarnDays must be a whole number from 0 to 3650; 0 gives no warning.</translation>
    </message>
    <message>
        <source>跟随重定向只能是 0 或 1！</source>
        <translation>HttpRedirects must be 0 or 1.</translation>
    </message>
    <message>
        <source>ParentID 必须是不小于 0 的整数！</source>
        <translation>ParentID must be a whole number from 0.</translation>
    </message>
    <message>
        <source>Revision 必须是不小于 0 的整数！</source>
        <translation>Revision must be a whole number from 0.</translation>
    </message>
    <message>
        <source>ID 必须是不小于 0 的整数！</source>
        <translation>ID must be a whole number of at least 0!</translation>
    </message>
</context>
<context>
    <name>CatalogueCommand</name>
    <message>
        <source>没有导入任何服务器:</source>
        <translation>No servers were imported: </translation>
    </message>
    <message>
        <source>%1:第 %2 行未导入:%3</source>
        <translation>%1: line %2 not imported: %3</translation>
    </message>
    <message>
        <source>已添加 %1 个服务器</source>
        <translation>Servers added: %1</translation>
    </message>
    <message>
        <source>导出失败:</source>
        <translation>Export failed: </translation>
    </message>
    <message>
        <source>已导出 %1 个服务器</source>
        <translation>Servers exported: %1</translation>
    </message>
    <message>
        <source>无法打开服务器列表 </source>
        <translation>Cannot open the server list </translation>
    </message>
</context>
<context>
    <name>CatalogueFileCommands</name>
    <message>
        <source>已添加 %1 个服务器</source>
        <translation>Servers added: %1</translation>
    </message>
    <message>
        <source>,以下 %1 行未导入:</source>
        <translation>. Lines not imported (%1):</translation>
    </message>
    <message>
        <source><byte value="xd"/>
第 %1 行:%2</source>
        <translation><byte value="xd"/>
Line %1: %2</translation>
    </message>
    <message>
        <source><byte value="xd"/>
……另有 %1 行未导入</source>
        <translation><byte value="xd"/>
... and %1 more lines not imported</translation>
    </message>
    <message>
        <source>导入服务器列表</source>
        <translation>Import Server List</translation>
    </message>
    <message>
        <source>服务器列表 (*.csv *.json);;CSV 文件 (*.csv);;JSON 文件 (*.json);;所有文件 (*)</source>
        <translation>Server lists (*.csv *.json);;CSV files (*.csv);;JSON files (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>对不起,导入失败</source>
        <translation>Import failed</translation>
    </message>
    <message>
        <source>没有导入任何服务器:</source>
        <translation>No servers were imported: </translation>
    </message>
    <message>
        <source>恭喜,导入成功</source>
        <translation>Import complete</translation>
    </message>
    <message>
        <source>导出服务器列表</source>
        <translation>Export Server List</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv);;JSON 文件 (*.json)</source>
        <translation>CSV files (*.csv);;JSON files (*.json)</translation>
    </message>
    <message>
        <source>恭喜,导出成功</source>
        <translation>Export complete</translation>
    </message>
    <message>
        <source>已导出 %1 个服务器</source>
        <translation>Servers exported: %1</translation>
    </message>
    <message>
        <source>对不起,导出失败</source>
        <translation>Export failed</translation>
    </message>
</context>
<context>
    <name>CatalogueReader</name>
    <message>
        <source>文件不是 UTF-8 编码的文本</source>
        <translation>The file is not UTF-8 text</translation>
    </message>
    <message>
        <source>文件是空的,没有标题行</source>
        <translation>The file is empty; it has no header line</translation>
    </message>
    <message>
        <source>标题行中 %1 列出现了两次</source>
        <translation>The header line names column %1 twice</translation>
    </message>
    <message>
        <source>标题行缺少 %1 列</source>
        <translation>The header line lacks column %1</translation>
    </message>
    <message>
        <source>有 %1 列,标题行有 %2 列</source>
        <translation>%1 fields, but the header line has %2</translation>
    </message>
    <message>
        <source>第 %1 行:JSON 格式错误(%2)</source>
        <translation>Line %1: JSON syntax error (%2)</translation>
    </message>
    <message>
        <source>文件不是服务器的 JSON 数组</source>
        <translation>The file is not a JSON array of servers</translation>
    </message>
    <message>
        <source>不是一个服务器对象</source>
        <translation>not a server object</translation>
    </message>
    <message>
        <source>%1 的值不是文字或数字</source>
        <translation>the value of %1 is neither text nor a number</translation>
    </message>
    <message>
        <source>读取文件时出错(%1)</source>
        <translation>error while reading the file (%1)</translation>
    </message>
    <message>
        <source>%1 的值不是整数</source>
        <translation>the value of %1 is not a whole number</translation>
    </message>
    <message>
        <source>含有不成对的 \u 代理项转义</source>
        <translation>holds a \u escape of half a surrogate pair</translation>
    </message>
</context>
<context>
    <name>CatalogueTransfer</name>
    <message>
        <source>无法读取文件 %1(%2)</source>
        <translation>Cannot read file %1 (%2)</translation>
    </message>
    <message>
        <source>数据库未连接</source>
        <translation>The database is not connected</translation>
    </message>
    <message>
        <source>无法写入文件 %1(%2)</source>
        <translation>Cannot write file %1 (%2)</translation>
    </message>
    <message>
        <source>无法读取服务器列表</source>
        <translation>Cannot read the server list</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>文件 %1 超过 1 GiB,不能导入</source>
        <translation>The file %1 is larger than 1 GiB and cannot be imported</translation>
    </message>
</context>
<context>
    <name>CatalogueUri</name>
    <message>
        <source>数据库连接地址不能为空！</source>
        <translation>The database address must not be empty.</translation>
    </message>
    <message>
        <source>数据库连接地址必须以 postgresql:// 或 postgres:// 开头！</source>
        <translation>The database address must start with postgresql:// or postgres://.</translation>
    </message>
    <message>
        <source>数据库连接地址不能包含密码,请使用 ~/.pgpass 或环境变量 PGPASSWORD！</source>
        <translation>The database address must not contain a password; use ~/.pgpass or the environment variable PGPASSWORD.</translation>
    </message>
    <message>
        <source>数据库连接地址中的端口必须是 1 到 65535 之间的整数！</source>
        <translation>The port in the database address must be a whole number from 1 to 65535.</translation>
    </message>
    <message>
        <source>数据库连接地址中的主机不是有效的主机名或IP地址！</source>
        <translation>The host in the database address is not a valid host name or IP address.</translation>
    </message>
    <message>
        <source>数据库连接地址格式不正确,应为 postgresql://用户名@主机:端口/数据库名！</source>
        <translation>The database address is malformed; write it as postgresql://user@host:port/database.</translation>
    </message>
    <message>
        <source>数据库连接地址缺少主机名！</source>
        <translation>The database address lacks a host name.</translation>
    </message>
    <message>
        <source>数据库连接地址缺少数据库名！</source>
        <translation>The database address lacks a database name.</translation>
    </message>
    <message>
        <source>数据库连接地址中的数据库名不能包含“/”！</source>
        <translation>The database name in the database address must not contain &quot;/&quot;.</translation>
    </message>
    <message>
        <source>数据库连接地址中的参数“%1”不受支持,可用的参数有:%2</source>
        <translation>The parameter &quot;%1&quot; in the database address is not supported; the parameters available are: %2</translation>
    </message>
    <message>
        <source>数据库连接地址中的参数“%1”重复！</source>
        <translation>The parameter &quot;%1&quot; appears more than once in the database address.</translation>
    </message>
    <message>
        <source>数据库连接地址中的参数“%1”缺少值！</source>
        <translation>The parameter &quot;%1&quot; in the database address lacks a value.</translation>
    </message>
    <message>
        <source>数据库连接地址中参数“%1”的值不能包含空格、分号、等号、引号或反斜杠！</source>
        <translation>The value of the parameter &quot;%1&quot; in the database address must not contain blanks, semicolons, equals signs, quotes or backslashes.</translation>
    </message>
</context>
<context>
    <name>CatalogueWorker</name>
    <message>
        <source>与数据库的连接已断开</source>
        <translation>The connection to the database was lost</translation>
    </message>
</context>
<context>
    <name>CertificateFactsText</name>
    <message>
        <source>证书主题:</source>
        <translation>Subject: </translation>
    </message>
    <message>
        <source>颁发者:</source>
        <translation>Issuer: </translation>
    </message>
    <message>
        <source>证书到期:</source>
        <translation>Expires: </translation>
    </message>
    <message>
        <source>证书链最早到期:</source>
        <translation>Earliest expiry in the chain: </translation>
    </message>
    <message>
        <source>剩余天数:</source>
        <translation>Days left: </translation>
    </message>
    <message>
        <source>验证结果:</source>
        <translation>Verification: </translation>
    </message>
    <message>
        <source>主机名匹配:</source>
        <translation>Host name matches: </translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>TLS版本:</source>
        <translation>TLS version: </translation>
    </message>
    <message>
        <source>加密套件:</source>
        <translation>Cipher: </translation>
    </message>
    <message>
        <source>握手时间:</source>
        <translation>Handshake time: </translation>
    </message>
    <message>
        <source>指纹(SHA-256):</source>
        <translation>Fingerprint (SHA-256): </translation>
    </message>
    <message>
        <source>尚无TLS握手结果</source>
        <translation>No TLS handshake yet</translation>
    </message>
    <message>
        <source>%1天</source>
        <translation>%1 day(s)</translation>
    </message>
    <message>
        <source>已过期%1天</source>
        <translation>expired %1 day(s) ago</translation>
    </message>
    <message>
        <source>已验证</source>
        <translation>verified</translation>
    </message>
    <message>
        <source>,已忽略</source>
        <translation>, ignored</translation>
    </message>
</context>
<context>
    <name>CertificateNotices</name>
    <message>
        <source>服务器:%1<byte value="xd"/>
IP:%2<byte value="xd"/>
证书:%3<byte value="xd"/>
</source>
        <translation>Server: %1<byte value="xd"/>
IP: %2<byte value="xd"/>
Certificate: %3<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>注意:证书即将过期</source>
        <translation>Warning: certificate expires soon</translation>
    </message>
    <message>
        <source>证书已过期 %1 天,到期 %2</source>
        <translation>Certificate expired %1 days ago, on %2</translation>
    </message>
    <message>
        <source>证书剩余 %1 天,到期 %2</source>
        <translation>Certificate expires in %1 days, on %2</translation>
    </message>
</context>
<context>
    <name>ChannelDispatcher</name>
    <message>
        <source>另有%1条告警:</source>
        <translation>%1 more alerts:</translation>
    </message>
    <message>
        <source>注意:告警过多</source>
        <translation>Note: too many alerts</translation>
    </message>
</context>
<context>
    <name>ChannelFieldPages</name>
    <message>
        <source>每行一个,写成“名称: 值”</source>
        <translation>One per line, written as “Name: value”</translation>
    </message>
    <message>
        <source>为空时发送默认的JSON。可用占位符:{title} {message} {server} {address} {port} {status} {state} {time} {duration}</source>
        <translation>Empty: the default JSON is sent. Placeholders: {title} {message} {server} {address} {port} {status} {state} {time} {duration}</translation>
    </message>
    <message>
        <source>URL:</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>请求方法:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>附加请求头:</source>
        <translation>Extra headers:</translation>
    </message>
    <message>
        <source>消息模板:</source>
        <translation>Body template:</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>可选</source>
        <translation>Optional</translation>
    </message>
    <message>
        <source>多个地址用逗号、分号或换行分隔</source>
        <translation>Separate several addresses with commas, semicolons or line breaks</translation>
    </message>
    <message>
        <source>SMTP服务器:</source>
        <translation>SMTP server:</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>加密方式:</source>
        <translation>Security:</translation>
    </message>
    <message>
        <source>用户名:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>发件人:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>收件人:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>加签密钥:</source>
        <translation>Signing secret:</translation>
    </message>
    <message>
        <source>签名密钥:</source>
        <translation>Signing secret:</translation>
    </message>
    <message>
        <source>含key的机器人地址</source>
        <translation>The robot&apos;s address with its key</translation>
    </message>
    <message>
        <source>文本</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>消息格式:</source>
        <translation>Message format:</translation>
    </message>
    <message>
        <source>API地址:</source>
        <translation>API address:</translation>
    </message>
    <message>
        <source>Bot Token:</source>
        <translation>Bot token:</translation>
    </message>
    <message>
        <source>Chat ID:</source>
        <translation>Chat ID:</translation>
    </message>
    <message>
        <source>服务器URL:</source>
        <translation>Server URL:</translation>
    </message>
    <message>
        <source>主题:</source>
        <translation>Topic:</translation>
    </message>
    <message>
        <source>访问令牌:</source>
        <translation>Access token:</translation>
    </message>
    <message>
        <source>优先级:</source>
        <translation>Priority:</translation>
    </message>
    <message>
        <source>每行一个参数</source>
        <translation>One argument per line</translation>
    </message>
    <message>
        <source>程序:</source>
        <translation>Program:</translation>
    </message>
    <message>
        <source>参数:</source>
        <translation>Arguments:</translation>
    </message>
    <message>
        <source>已保存,留空则保持不变</source>
        <translation>Saved; leave empty to keep it</translation>
    </message>
</context>
<context>
    <name>ChannelKinds</name>
    <message>
        <source>电子邮件</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>钉钉</source>
        <translation>DingTalk</translation>
    </message>
    <message>
        <source>飞书</source>
        <translation>Feishu</translation>
    </message>
    <message>
        <source>企业微信</source>
        <translation>WeCom</translation>
    </message>
    <message>
        <source>命令</source>
        <translation>Command</translation>
    </message>
</context>
<context>
    <name>ChannelMessage</name>
    <message>
        <source>servermon测试消息</source>
        <translation>servermon test message</translation>
    </message>
    <message>
        <source>这是一条测试消息,收到即表示通知渠道“%1”工作正常。</source>
        <translation>This is a test message; receiving it means the notification channel &quot;%1&quot; works.</translation>
    </message>
</context>
<context>
    <name>ChannelReply</name>
    <message>
        <source>对方返回错误:%1 %2</source>
        <translation>The peer returned an error: %1 %2</translation>
    </message>
    <message>
        <source>对方的回应缺少%1</source>
        <translation>The peer&apos;s reply lacks %1</translation>
    </message>
    <message>
        <source>HTTP状态码%1</source>
        <translation>HTTP status code %1</translation>
    </message>
    <message>
        <source>对方的回应不是JSON</source>
        <translation>The peer&apos;s reply is not JSON</translation>
    </message>
</context>
<context>
    <name>ChannelRequest</name>
    <message>
        <source>请求方法%1不可用:只能是POST或PUT</source>
        <translation>Request method %1 cannot be used: only POST or PUT</translation>
    </message>
    <message>
        <source>请求头有误:%1</source>
        <translation>Bad request header: %1</translation>
    </message>
    <message>
        <source>Telegram设置有误:没有机器人令牌</source>
        <translation>Telegram settings are wrong: no bot token</translation>
    </message>
    <message>
        <source>Telegram设置有误:没有chat id</source>
        <translation>Telegram settings are wrong: no chat id</translation>
    </message>
    <message>
        <source>ntfy设置有误:没有主题</source>
        <translation>ntfy settings are wrong: no topic</translation>
    </message>
    <message>
        <source>URL无效:需要http或https地址</source>
        <translation>Invalid URL: an http or https address is needed</translation>
    </message>
    <message>
        <source>%1渠道不经HTTP发送</source>
        <translation>%1 channels do not send over HTTP</translation>
    </message>
</context>
<context>
    <name>ChannelValidation</name>
    <message>
        <source>%1有误:%2</source>
        <translation>%1 is wrong: %2</translation>
    </message>
    <message>
        <source>邮件地址“%1”不能包含空格或控制字符！</source>
        <translation>The mail address “%1” must not contain blanks or control characters.</translation>
    </message>
    <message>
        <source>请求方法只能是 POST 或 PUT！</source>
        <translation>The method must be POST or PUT.</translation>
    </message>
    <message>
        <source>SMTP服务器不能为空！</source>
        <translation>The SMTP server must not be empty.</translation>
    </message>
    <message>
        <source>SMTP服务器不能包含空格或控制字符！</source>
        <translation>The SMTP server must not contain blanks or control characters.</translation>
    </message>
    <message>
        <source>SMTP端口必须是1到65535之间的整数！</source>
        <translation>The SMTP port must be a whole number from 1 to 65535.</translation>
    </message>
    <message>
        <source>加密方式只能是无、STARTTLS或TLS！</source>
        <translation>Security must be none, STARTTLS or TLS.</translation>
    </message>
    <message>
        <source>发件人地址必须包含“@”！</source>
        <translation>The sender&apos;s address must contain “@”.</translation>
    </message>
    <message>
        <source>请至少填写一个收件人！</source>
        <translation>Enter at least one recipient.</translation>
    </message>
    <message>
        <source>收件人地址“%1”必须包含“@”！</source>
        <translation>The recipient&apos;s address “%1” must contain “@”.</translation>
    </message>
    <message>
        <source>消息格式只能是 text 或 markdown！</source>
        <translation>The message format must be text or markdown.</translation>
    </message>
    <message>
        <source>API地址</source>
        <translation>The API address</translation>
    </message>
    <message>
        <source>Bot Token不能为空！</source>
        <translation>The bot token must not be empty.</translation>
    </message>
    <message>
        <source>Chat ID不能为空！</source>
        <translation>The chat ID must not be empty.</translation>
    </message>
    <message>
        <source>服务器URL</source>
        <translation>The server URL</translation>
    </message>
    <message>
        <source>主题不能为空！</source>
        <translation>The topic must not be empty.</translation>
    </message>
    <message>
        <source>主题只能由字母、数字、“-”和“_”组成,最长64个字符！</source>
        <translation>The topic may hold only letters, digits, “-” and “_”, at most 64 characters.</translation>
    </message>
    <message>
        <source>优先级必须是1到5之间的整数！</source>
        <translation>The priority must be a whole number from 1 to 5.</translation>
    </message>
    <message>
        <source>程序不能为空！</source>
        <translation>The program must not be empty.</translation>
    </message>
    <message>
        <source>通知渠道名称不能为空！</source>
        <translation>The channel&apos;s name must not be empty.</translation>
    </message>
    <message>
        <source>已有名为“%1”的通知渠道,请换一个名称！</source>
        <translation>A channel named “%1” exists already; choose another name.</translation>
    </message>
    <message>
        <source>告警合并阈值必须是0到%1之间的整数！</source>
        <translation>The digest threshold must be a whole number from 0 to %1.</translation>
    </message>
</context>
<context>
    <name>CommandDelivery</name>
    <message>
        <source>超时</source>
        <translation>Timed out</translation>
    </message>
    <message>
        <source>命令异常结束</source>
        <translation>The command ended abnormally</translation>
    </message>
    <message>
        <source>命令退出码%1</source>
        <translation>Command exit status %1</translation>
    </message>
    <message>
        <source>命令无法启动:%1</source>
        <translation>The command could not start: %1</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>青岚服务器监控:定时检测服务器的 TCP 服务与 PING</source>
        <translation>Qinglan Server Monitor: checks servers&apos; TCP services and PING at regular intervals</translation>
    </message>
    <message>
        <source>显示本帮助并退出</source>
        <translation>Show this help and exit</translation>
    </message>
    <message>
        <source>显示版本并退出</source>
        <translation>Show the version and exit</translation>
    </message>
    <message>
        <source>便携模式:所有文件都放在程序所在的文件夹</source>
        <translation>Portable mode: keep every file in the program&apos;s folder</translation>
    </message>
    <message>
        <source>设置、服务器列表和用户皮肤放在 &lt;文件夹&gt; 中</source>
        <translation>Keep the settings, the server list and user skins in &lt;folder&gt;</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>folder</translation>
    </message>
    <message>
        <source>把 &lt;文件&gt; (CSV 或 JSON) 中的服务器添加到服务器列表后退出</source>
        <translation>Add the servers in &lt;file&gt; (CSV or JSON) to the server list, then exit</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>file</translation>
    </message>
    <message>
        <source>把服务器列表导出到 &lt;文件&gt; (以 .json 结尾为 JSON,否则为 CSV) 后退出</source>
        <translation>Export the server list to &lt;file&gt; (JSON when the name ends in .json, else CSV), then exit</translation>
    </message>
    <message>
        <source>不显示窗口,立即开始监控,状态变化与报警写到标准输出</source>
        <translation>Monitor at once without a window; state changes and alerts go to standard output</translation>
    </message>
    <message>
        <source>在 &lt;地址:端口&gt; 提供 Prometheus 监控指标(只给端口时为 127.0.0.1)</source>
        <translation>Serve Prometheus metrics at &lt;address:port&gt; (127.0.0.1 when only a port is given)</translation>
    </message>
    <message>
        <source>地址:端口</source>
        <translation>address:port</translation>
    </message>
    <message>
        <source>多余的参数:</source>
        <translation>Unexpected arguments: </translation>
    </message>
    <message>
        <source>--config-dir 需要一个文件夹
</source>
        <translation>--config-dir needs a folder
</translation>
    </message>
    <message>
        <source>--import 和 --export 不能同时使用
</source>
        <translation>--import and --export cannot be used together
</translation>
    </message>
    <message>
        <source>--%1 需要一个文件
</source>
        <translation>--%1 needs a file
</translation>
    </message>
    <message>
        <source>--metrics 需要 地址:端口 或 端口(1-65535):</source>
        <translation>--metrics needs address:port or a port (1-65535): </translation>
    </message>
    <message>
        <source>通过名为 &lt;名称&gt; 的通知渠道发送一条测试消息后退出(0:对方已接受,1:失败)</source>
        <translation>Send a test message through the notification channel named &lt;name&gt; and exit (0: accepted, 1: failed)</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>name</translation>
    </message>
    <message>
        <source>--send-test 不能与 --import 或 --export 同时使用
</source>
        <translation>--send-test cannot be used together with --import or --export
</translation>
    </message>
    <message>
        <source>--send-test 需要一个通知渠道的名称
</source>
        <translation>--send-test needs the name of a notification channel
</translation>
    </message>
    <message>
        <source>使用 PostgreSQL 数据库 &lt;地址&gt; (postgresql://用户@主机:端口/数据库)中共享的服务器列表,而不是设置中的</source>
        <translation>Use the server list shared in the PostgreSQL database at &lt;address&gt; (postgresql://user@host:port/database) instead of the one in the settings</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>address</translation>
    </message>
    <message>
        <source>把服务器列表(服务器、请求模板、通知渠道、维护计划)复制到空的 PostgreSQL 数据库 &lt;地址&gt; 后退出</source>
        <translation>Copy the server list (servers, request templates, notification channels, maintenance windows) into the empty PostgreSQL database at &lt;address&gt;, then exit</translation>
    </message>
    <message>
        <source>--%1 需要一个数据库地址
</source>
        <translation>--%1 needs a database address
</translation>
    </message>
    <message>
        <source>--copy-catalogue 不能与 --import、--export 或 --send-test 同时使用
</source>
        <translation>--copy-catalogue cannot be used together with --import, --export or --send-test
</translation>
    </message>
    <message>
        <source>共享服务器列表时以 &lt;名称&gt; 作为监测代理的名称(默认为主机名)</source>
        <translation>With a shared server list, the name of this monitoring agent (&lt;name&gt;; the host name by default)</translation>
    </message>
    <message>
        <source>共享服务器列表时本代理所在的 &lt;位置&gt;,只监测该位置的服务器</source>
        <translation>With a shared server list, the &lt;location&gt; this agent probes from; it monitors only that location&apos;s servers</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>location</translation>
    </message>
    <message>
        <source>--agent 需要一个名称
</source>
        <translation>--agent needs a name
</translation>
    </message>
</context>
<context>
    <name>CopyCatalogueCommand</name>
    <message>
        <source>目标数据库不是空的(其中已有其他数据表)</source>
        <translation>The target database is not empty (it holds other tables)</translation>
    </message>
    <message>
        <source>无法在目标数据库中建立服务器列表:</source>
        <translation>Cannot create the server list in the target database: </translation>
    </message>
    <message>
        <source>目标数据库不是空的(其中已有服务器、通知渠道或维护计划)</source>
        <translation>The target database is not empty (it holds servers, notification channels or maintenance windows)</translation>
    </message>
    <message>
        <source>无法打开服务器列表 </source>
        <translation>Cannot open the server list </translation>
    </message>
    <message>
        <source>无法连接数据库 %1:%2</source>
        <translation>Cannot connect to the database %1: %2</translation>
    </message>
    <message>
        <source>复制失败:</source>
        <translation>Copy failed: </translation>
    </message>
    <message>
        <source>已把服务器列表复制到 %1(共 %2 项)</source>
        <translation>Server list copied to %1 (%2 items)</translation>
    </message>
</context>
<context>
    <name>CsvReader</name>
    <message>
        <source>第 %1 行:%2</source>
        <translation>Line %1: %2</translation>
    </message>
    <message>
        <source>引号没有结束</source>
        <translation>unterminated quote</translation>
    </message>
    <message>
        <source>引号之后还有文字</source>
        <translation>text after a closing quote</translation>
    </message>
    <message>
        <source>未加引号的字段中有引号</source>
        <translation>quote inside an unquoted field</translation>
    </message>
</context>
<context>
    <name>CurlDelivery</name>
    <message>
        <source>SMTP服务器拒绝:%1</source>
        <translation>The SMTP server refused: %1</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Timed out</translation>
    </message>
    <message>
        <source>无法解析主机名</source>
        <translation>The host name could not be resolved</translation>
    </message>
    <message>
        <source>连接失败:%1</source>
        <translation>Connection failed: %1</translation>
    </message>
    <message>
        <source>证书验证失败</source>
        <translation>Certificate verification failed</translation>
    </message>
    <message>
        <source>TLS设置有误:%1</source>
        <translation>Bad TLS settings: %1</translation>
    </message>
    <message>
        <source>TLS连接失败:%1</source>
        <translation>TLS connection failed: %1</translation>
    </message>
    <message>
        <source>服务器不支持STARTTLS</source>
        <translation>The server does not support STARTTLS</translation>
    </message>
    <message>
        <source>登录被拒绝:用户名或密码不对</source>
        <translation>Login refused: wrong user name or password</translation>
    </message>
    <message>
        <source>发送失败:%1</source>
        <translation>Sending failed: %1</translation>
    </message>
</context>
<context>
    <name>DBusDesktopNotifications</name>
    <message>
        <source>显示主窗口</source>
        <translation>Show main window</translation>
    </message>
</context>
<context>
    <name>EmailRequest</name>
    <message>
        <source>邮件设置有误:没有SMTP服务器</source>
        <translation>Mail settings are wrong: no SMTP server</translation>
    </message>
    <message>
        <source>邮件设置有误:端口%1不在1-65535之间</source>
        <translation>Mail settings are wrong: port %1 is not within 1-65535</translation>
    </message>
    <message>
        <source>邮件设置有误:加密方式%1未知</source>
        <translation>Mail settings are wrong: unknown security %1</translation>
    </message>
    <message>
        <source>邮件设置有误:发件人地址无效</source>
        <translation>Mail settings are wrong: invalid sender address</translation>
    </message>
    <message>
        <source>邮件设置有误:没有收件人</source>
        <translation>Mail settings are wrong: no recipient</translation>
    </message>
    <message>
        <source>邮件设置有误:收件人地址无效:%1</source>
        <translation>Mail settings are wrong: invalid recipient address: %1</translation>
    </message>
    <message>
        <source>邮件设置有误:SMTP服务器%1无效</source>
        <translation>Mail settings are wrong: invalid SMTP server %1</translation>
    </message>
</context>
<context>
    <name>FormAD</name>
    <message>
        <source>当前版本</source>
        <translation>Current Version</translation>
    </message>
    <message>
        <source>无法打开公告页面，请稍后再试。</source>
        <translation>The announcement page cannot be opened. Please try again later.</translation>
    </message>
    <message>
        <source>[%1秒后关闭]</source>
        <translation> [closing in %1 s]</translation>
    </message>
    <message>
        <source>当前版本:</source>
        <translation>Current version: </translation>
    </message>
</context>
<context>
    <name>FormChannelEdit</name>
    <message>
        <source>启用</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>恢复时也发送</source>
        <translation>Also send recoveries</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>编辑通知渠道</source>
        <translation>Edit notification channel</translation>
    </message>
    <message>
        <source>添加通知渠道</source>
        <translation>Add notification channel</translation>
    </message>
    <message>
        <source>一分钟内超过此条数的告警合并为一条摘要发送,0为不合并</source>
        <translation>More alerts than this within a minute go out as one digest; 0: never merged</translation>
    </message>
    <message>
        <source>名称:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>类型:</source>
        <translation>Kind:</translation>
    </message>
    <message>
        <source>告警合并阈值(条/分钟):</source>
        <translation>Digest above (messages/minute):</translation>
    </message>
    <message>
        <source>对不起,保存失败</source>
        <translation>Sorry, saving failed</translation>
    </message>
    <message>
        <source>对不起,添加失败</source>
        <translation>Sorry, adding failed</translation>
    </message>
    <message>
        <source>无法读取通知渠道列表,请稍后再试。</source>
        <translation>The notification channels cannot be read; try again later.</translation>
    </message>
</context>
<context>
    <name>FormChannels</name>
    <message>
        <source>添加(&amp;A)</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>编辑(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>删除(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>停用(&amp;U)</source>
        <translation>Disa&amp;ble</translation>
    </message>
    <message>
        <source>发送测试</source>
        <translation>Send test</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>通知渠道</source>
        <translation>Notification channels</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>恢复时也发送</source>
        <translation>Recoveries</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>无法读取通知渠道</source>
        <translation>Cannot read the notification channels</translation>
    </message>
    <message>
        <source>通知渠道列表暂时无法读取(可能正被其他程序占用),列表中没有显示任何渠道。请稍后再试。</source>
        <translation>The notification channels cannot be read just now (another program may hold the catalogue); the list shows none. Try again later.</translation>
    </message>
    <message>
        <source>启用(&amp;U)</source>
        <translation>Ena&amp;ble</translation>
    </message>
    <message>
        <source>确认？</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>确定删除通知渠道“%1”?<byte value="xd"/>
尚未发出的消息也将一并删除,删除后无法恢复!</source>
        <translation>Delete the notification channel “%1”?<byte value="xd"/>
Its messages not yet sent are deleted too; this cannot be undone!</translation>
    </message>
    <message>
        <source>对不起,删除失败</source>
        <translation>Sorry, the deletion failed</translation>
    </message>
    <message>
        <source>对不起,更改状态失败</source>
        <translation>Change of state failed</translation>
    </message>
    <message>
        <source>正在向“%1”发送测试消息...</source>
        <translation>Sending a test message through “%1”...</translation>
    </message>
    <message>
        <source>“%1”已接受测试消息。</source>
        <translation>“%1” accepted the test message.</translation>
    </message>
    <message>
        <source>“%1”发送失败:%2</source>
        <translation>“%1” failed: %2</translation>
    </message>
</context>
<context>
    <name>FormFind</name>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>搜索服务器</source>
        <translation>Find Servers</translation>
    </message>
    <message>
        <source>关键字:</source>
        <translation>Keyword:</translation>
    </message>
</context>
<context>
    <name>FormHistory</name>
    <message>
        <source>历史记录 - </source>
        <translation>History - </translation>
    </message>
    <message>
        <source>时间范围:</source>
        <translation>Time range:</translation>
    </message>
    <message>
        <source>导出CSV(&amp;C)...</source>
        <translation>Export &amp;CSV...</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>历史记录已关闭：在系统配置中勾选“记录历史数据”后开始记录。</source>
        <translation>History is off. Tick &quot;Record history&quot; in the settings to start recording.</translation>
    </message>
    <message>
        <source>应答时间(ms)</source>
        <translation>Reply time (ms)</translation>
    </message>
    <message>
        <source>Ping延时(ms)</source>
        <translation>Ping time (ms)</translation>
    </message>
    <message>
        <source>SOCKET异常</source>
        <translation>Socket faults</translation>
    </message>
    <message>
        <source>Ping丢包</source>
        <translation>Ping losses</translation>
    </message>
    <message>
        <source>历史曲线</source>
        <translation>History chart</translation>
    </message>
    <message>
        <source>图表</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>对不起,导出失败</source>
        <translation>Export failed</translation>
    </message>
    <message>
        <source>无法写入文件：</source>
        <translation>Cannot write file: </translation>
    </message>
    <message>
        <source>历史记录文件正被占用，暂时无法读取，请稍后再打开本窗口。</source>
        <translation>The history file is in use and cannot be read just now; open this window again later.</translation>
    </message>
    <message>
        <source>无法读取历史记录文件 %1：%2</source>
        <translation>Cannot read the history file %1: %2</translation>
    </message>
    <message>
        <source>不含维护时段</source>
        <translation>Maintenance periods excluded</translation>
    </message>
</context>
<context>
    <name>FormInfo</name>
    <message>
        <source>服务器信息</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>服务器名:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>I   P地址:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>目标端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>发送数据:</source>
        <translation>Request:</translation>
    </message>
    <message>
        <source>响应数据:</source>
        <translation>Reply:</translation>
    </message>
    <message>
        <source>SOCKET测试</source>
        <translation>Test Socket</translation>
    </message>
    <message>
        <source>PING测试</source>
        <translation>Test Ping</translation>
    </message>
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>SOCKET状态:</source>
        <translation>Socket state:</translation>
    </message>
    <message>
        <source>服务器详细信息</source>
        <translation>Server Details</translation>
    </message>
    <message>
        <source>响应数据(HEX)</source>
        <translation>Reply (hex)</translation>
    </message>
    <message>
        <source>传输方式:</source>
        <translation>Transport:</translation>
    </message>
    <message>
        <source>TLS主机名:</source>
        <translation>TLS name:</translation>
    </message>
    <message>
        <source>证书信息:</source>
        <translation>Certificate:</translation>
    </message>
    <message>
        <source>TLS测试</source>
        <translation>Test TLS</translation>
    </message>
    <message>
        <source>正在进行TLS测试...</source>
        <translation>Testing TLS...</translation>
    </message>
    <message>
        <source>TLS测试:</source>
        <translation>TLS test: </translation>
    </message>
    <message>
        <source>用时:%1ms</source>
        <translation>Time: %1 ms</translation>
    </message>
    <message>
        <source>HTTP测试</source>
        <translation>HTTP test</translation>
    </message>
    <message>
        <source>正在进行HTTP测试...</source>
        <translation>Testing HTTP...</translation>
    </message>
    <message>
        <source>HTTP测试:</source>
        <translation>HTTP test: </translation>
    </message>
    <message>
        <source>各代理的监测结果:</source>
        <translation>Results by agent:</translation>
    </message>
    <message>
        <source>代理</source>
        <translation>Agent</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>响应时间</source>
        <translation>Reply time</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>没有代理监测此服务器</source>
        <translation>No agent monitors this server</translation>
    </message>
    <message>
        <source>未监测</source>
        <translation>Not checked yet</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>故障</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>(无位置)</source>
        <translation>(no location)</translation>
    </message>
    <message>
        <source>%1 毫秒</source>
        <translation>%1 ms</translation>
    </message>
</context>
<context>
    <name>FormLoading</name>
    <message>
        <source>程序初始化中...</source>
        <translation>Starting...</translation>
    </message>
</context>
<context>
    <name>FormMain</name>
    <message>
        <source>作者:Quillfern</source>
        <translation>Author: Quillfern</translation>
    </message>
    <message>
        <source>青岚服务器监控[云杉工作室]</source>
        <translation>Qinglan Server Monitor [Spruce Studio]</translation>
    </message>
    <message>
        <source>监控列表</source>
        <translation>Monitored</translation>
    </message>
    <message>
        <source>异常服务器</source>
        <translation>Failing</translation>
    </message>
    <message>
        <source>搜索服务器</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>开始监控</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>退出系统</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>添加服务器</source>
        <translation>Add Server</translation>
    </message>
    <message>
        <source>系统菜单</source>
        <translation>&amp;System</translation>
    </message>
    <message>
        <source>开始监控(&amp;S)</source>
        <translation>&amp;Start Monitoring</translation>
    </message>
    <message>
        <source>系统设置(&amp;E)</source>
        <translation>S&amp;ettings...</translation>
    </message>
    <message>
        <source>服务器选项(&amp;M)</source>
        <translation>Ser&amp;vers</translation>
    </message>
    <message>
        <source>查看服务器(&amp;I)</source>
        <translation>Server Deta&amp;ils...</translation>
    </message>
    <message>
        <source>历史记录(&amp;H)...</source>
        <translation>&amp;History...</translation>
    </message>
    <message>
        <source>添加服务器(&amp;A)</source>
        <translation>&amp;Add Server...</translation>
    </message>
    <message>
        <source>编辑服务器(&amp;E)</source>
        <translation>&amp;Edit Server...</translation>
    </message>
    <message>
        <source>搜索服务器(&amp;F)</source>
        <translation>&amp;Find Servers...</translation>
    </message>
    <message>
        <source>载入已监控(&amp;I)</source>
        <translation>Load Mon&amp;itored</translation>
    </message>
    <message>
        <source>载入未监控(&amp;N)</source>
        <translation>Load &amp;Not Monitored</translation>
    </message>
    <message>
        <source>载入所有项(&amp;V)</source>
        <translation>Load All Ser&amp;vers</translation>
    </message>
    <message>
        <source>导入服务器列表(&amp;P)...</source>
        <translation>Im&amp;port Server List...</translation>
    </message>
    <message>
        <source>导出服务器列表(&amp;X)...</source>
        <translation>E&amp;xport Server List...</translation>
    </message>
    <message>
        <source>Telnet命令测试</source>
        <translation>Telnet Test</translation>
    </message>
    <message>
        <source>Ping 命令测试</source>
        <translation>Ping Test</translation>
    </message>
    <message>
        <source>主题(&amp;T)</source>
        <translation>&amp;Theme</translation>
    </message>
    <message>
        <source>主题列表</source>
        <translation>Themes</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>系统帮助</source>
        <translation>Online Help</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for Updates</translation>
    </message>
    <message>
        <source>关于本软件</source>
        <translation>About</translation>
    </message>
    <message>
        <source>数据库:</source>
        <translation>Database address:</translation>
    </message>
    <message>
        <source>回应数:</source>
        <translation>Replies:</translation>
    </message>
    <message>
        <source>任务等待开始</source>
        <translation>Waiting to start</translation>
    </message>
    <message>
        <source>SOCKET异常:0</source>
        <translation>Socket faults: 0</translation>
    </message>
    <message>
        <source>Ping异常:0</source>
        <translation>Ping faults: 0</translation>
    </message>
    <message>
        <source>[版本:</source>
        <translation> [Version </translation>
    </message>
    <message>
        <source>服务器监控系统</source>
        <translation>Server Monitor</translation>
    </message>
    <message>
        <source>版本:</source>
        <translation>Version </translation>
    </message>
    <message>
        <source>对不起,更改状态失败</source>
        <translation>Change of state failed</translation>
    </message>
    <message>
        <source>我并没有被关闭！而是被最小化到了这里</source>
        <translation>I was not closed, only minimised to here.</translation>
    </message>
    <message>
        <source>如果要退出程序，请右键我！然后选择退出</source>
        <translation>To quit, right-click me and choose Exit.</translation>
    </message>
    <message>
        <source>你注意到没？</source>
        <translation>Still running</translation>
    </message>
    <message>
        <source>静默(&amp;S)</source>
        <translation>&amp;Silence</translation>
    </message>
    <message>
        <source>数据库：连接失败</source>
        <translation>Database: not connected</translation>
    </message>
    <message>
        <source>无法读取服务器列表</source>
        <translation>Cannot read the server list</translation>
    </message>
    <message>
        <source>服务器列表暂时无法读取(可能正被其他程序占用),列表中没有显示任何服务器。请稍后重新载入。</source>
        <translation>The server list cannot be read at the moment (another program may be using it), so the list shows no servers. Please load it again later.</translation>
    </message>
    <message>
        <source>维护计划(&amp;W)...</source>
        <translation>Maintenance &amp;windows...</translation>
    </message>
    <message>
        <source>通知渠道(&amp;C)...</source>
        <translation>Notification &amp;channels...</translation>
    </message>
    <message>
        <source>通知渠道故障：%1</source>
        <translation>Notification channel failing: %1</translation>
    </message>
</context>
<context>
    <name>FormMaintenance</name>
    <message>
        <source>添加(&amp;A)</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>编辑(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>删除(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>维护计划</source>
        <translation>Maintenance windows</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>时区</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Servers</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>一次 %1 至 %2</source>
        <translation>Once %1 to %2</translation>
    </message>
    <message>
        <source>一</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>二</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>三</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>四</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>五</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>六</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>每周%1 %2 起 %3 分钟</source>
        <translation>Weekly %1 from %2 for %3 minutes</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>对不起,删除失败</source>
        <translation>Sorry, the deletion failed</translation>
    </message>
</context>
<context>
    <name>FormMaintenanceEdit</name>
    <message>
        <source>一</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>二</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>三</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>四</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>五</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>六</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>全部服务器</source>
        <translation>All servers</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>编辑维护计划</source>
        <translation>Edit maintenance window</translation>
    </message>
    <message>
        <source>添加维护计划</source>
        <translation>Add maintenance window</translation>
    </message>
    <message>
        <source>选中的服务器(%1台)</source>
        <translation>Selected servers (%1)</translation>
    </message>
    <message>
        <source>一次</source>
        <translation>Once</translation>
    </message>
    <message>
        <source>每周</source>
        <translation>Weekly</translation>
    </message>
    <message>
        <source>开始时间:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>结束时间:</source>
        <translation>End:</translation>
    </message>
    <message>
        <source>星期:</source>
        <translation>Days:</translation>
    </message>
    <message>
        <source>持续(分钟):</source>
        <translation>Duration (minutes):</translation>
    </message>
    <message>
        <source>服务器:</source>
        <translation>Servers:</translation>
    </message>
    <message>
        <source>类型:</source>
        <translation>Kind:</translation>
    </message>
    <message>
        <source>时区:</source>
        <translation>Time zone:</translation>
    </message>
    <message>
        <source>备注:</source>
        <translation>Note:</translation>
    </message>
    <message>
        <source>结束时间必须晚于开始时间！</source>
        <translation>The end must come after the start!</translation>
    </message>
    <message>
        <source>请至少选择一天！</source>
        <translation>Choose at least one day!</translation>
    </message>
    <message>
        <source>对不起,保存失败</source>
        <translation>Sorry, saving failed</translation>
    </message>
</context>
<context>
    <name>FormServer</name>
    <message>
        <source>添加服务器信息</source>
        <translation>Add Server</translation>
    </message>
    <message>
        <source>对不起,添加失败</source>
        <translation>Adding failed</translation>
    </message>
    <message>
        <source>恭喜,添加成功</source>
        <translation>Server added</translation>
    </message>
    <message>
        <source>添加新服务器信息成功</source>
        <translation>The new server has been added.</translation>
    </message>
    <message>
        <source>提示：添加新服务器信息成功</source>
        <translation>Note: the new server has been added.</translation>
    </message>
</context>
<context>
    <name>FormServerEdit</name>
    <message>
        <source>编辑服务器信息</source>
        <translation>Edit Server</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>编辑服务器信息[</source>
        <translation>Edit Server [</translation>
    </message>
    <message>
        <source>对不起,保存失败</source>
        <translation>Saving failed</translation>
    </message>
    <message>
        <source>恭喜,编辑成功</source>
        <translation>Server saved</translation>
    </message>
    <message>
        <source>保存服务器信息成功</source>
        <translation>The server has been saved.</translation>
    </message>
    <message>
        <source>确认？</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>确定删除该服务器信息?<byte value="xd"/>
删除后无法恢复!</source>
        <translation>Delete this server?<byte value="xd"/>
This cannot be undone.</translation>
    </message>
    <message>
        <source>对不起,删除失败</source>
        <translation>Deleting failed</translation>
    </message>
</context>
<context>
    <name>FormSetup</name>
    <message>
        <source>系统配置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>监控选项</source>
        <translation>Monitoring</translation>
    </message>
    <message>
        <source>新消息播放提示音</source>
        <translation>Play a sound on alerts</translation>
    </message>
    <message>
        <source>记录历史数据</source>
        <translation>Record history</translation>
    </message>
    <message>
        <source>以空格分隔:地址为PING检测,地址:端口为TCP连接检测;均无响应时不计异常</source>
        <translation>Separated by blanks: an address is pinged, address:port gets a TCP connection; when none answers, failures are not counted</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>循环任务间隔:</source>
        <translation>Interval (s):</translation>
    </message>
    <message>
        <source>POST报警阀值:</source>
        <translation>Socket faults to alert:</translation>
    </message>
    <message>
        <source>PING报警阀值:</source>
        <translation>Lost pings to alert:</translation>
    </message>
    <message>
        <source>SOCKET超时:</source>
        <translation>Socket time-out (ms):</translation>
    </message>
    <message>
        <source>系统默认皮肤:</source>
        <translation>Default skin:</translation>
    </message>
    <message>
        <source>原始数据保留天数:</source>
        <translation>Keep raw results (days):</translation>
    </message>
    <message>
        <source>历史数据保留天数:</source>
        <translation>Keep history (days):</translation>
    </message>
    <message>
        <source>网络检测地址:</source>
        <translation>Network check addresses:</translation>
    </message>
    <message>
        <source>保存配置文件失败！</source>
        <translation>Saving the settings failed</translation>
    </message>
    <message>
        <source>无法写入配置文件：</source>
        <translation>Cannot write the settings file: </translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>System language</translation>
    </message>
    <message>
        <source>重新启动程序后生效</source>
        <translation>Takes effect when the program is next started</translation>
    </message>
    <message>
        <source>界面语言:</source>
        <translation>Language:</translation>
    </message>
    <message>
        <source>服务器恢复时提示</source>
        <translation>Notify when a failing server recovers</translation>
    </message>
    <message>
        <source>启动时显示公告</source>
        <translation>Show the announcement at start</translation>
    </message>
    <message>
        <source>退出时打开更新页面</source>
        <translation>Open the update page at exit</translation>
    </message>
    <message>
        <source>0为不提醒</source>
        <translation>0: no reminders</translation>
    </message>
    <message>
        <source>最近20次检测中状态变化达到此次数即视为频繁变化;0为不检测</source>
        <translation>A server whose state changed this many times within its last 20 passes is flapping; 0: off</translation>
    </message>
    <message>
        <source>频繁变化阈值:</source>
        <translation>Flapping limit:</translation>
    </message>
    <message>
        <source>持续故障提醒间隔(分钟):</source>
        <translation>Reminder interval for ongoing faults (minutes):</translation>
    </message>
    <message>
        <source>通知渠道...</source>
        <translation>Notification channels...</translation>
    </message>
    <message>
        <source>多人共享的 PostgreSQL 服务器列表;留空为本机的数据库文件。重新启动程序后生效</source>
        <translation>A PostgreSQL server list shared by several copies; empty for this computer&apos;s database file. Takes effect at the next start</translation>
    </message>
    <message>
        <source>数据库连接:</source>
        <translation>Database address:</translation>
    </message>
</context>
<context>
    <name>HeadlessService</name>
    <message>
        <source>无法读取服务器列表</source>
        <translation>Cannot read the server list</translation>
    </message>
    <message>
        <source>%1 秒后重试</source>
        <translation>retrying in %1 s</translation>
    </message>
</context>
<context>
    <name>HistoryQuery</name>
    <message>
        <source>正确应答</source>
        <translation>Correct reply</translation>
    </message>
    <message>
        <source>应答错误</source>
        <translation>Wrong reply</translation>
    </message>
    <message>
        <source>SOCKET错误</source>
        <translation>Socket error</translation>
    </message>
    <message>
        <source>SOCKET超时</source>
        <translation>Socket time-out</translation>
    </message>
    <message>
        <source>Ping应答</source>
        <translation>Ping answered</translation>
    </message>
    <message>
        <source>Ping丢包</source>
        <translation>Ping lost</translation>
    </message>
    <message>
        <source>无数据</source>
        <translation>no data</translation>
    </message>
    <message>
        <source>最小 %1ms  平均 %2ms  最大 %3ms  P95 %4%5ms</source>
        <translation>min %1 ms  avg %2 ms  max %3 ms  P95 %4%5 ms</translation>
    </message>
    <message>
        <source>约</source>
        <translation>~</translation>
    </message>
    <message>
        <source>1小时</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>24小时</source>
        <translation>24 hours</translation>
    </message>
    <message>
        <source>7天</source>
        <translation>7 days</translation>
    </message>
    <message>
        <source>30天</source>
        <translation>30 days</translation>
    </message>
    <message>
        <source>1年</source>
        <translation>1 year</translation>
    </message>
    <message>
        <source>可用率(24小时):</source>
        <translation>Availability (24 hours): </translation>
    </message>
    <message>
        <source>可用率(7天):</source>
        <translation>Availability (7 days): </translation>
    </message>
    <message>
        <source>可用率(30天):</source>
        <translation>Availability (30 days): </translation>
    </message>
    <message>
        <source>应答时间(%1):</source>
        <translation>Reply time (%1): </translation>
    </message>
    <message>
        <source>Ping延时(%1):</source>
        <translation>Ping time (%1): </translation>
    </message>
    <message>
        <source>SOCKET结果:%1  异常:%2</source>
        <translation>Socket results: %1  faults: %2</translation>
    </message>
    <message>
        <source>Ping:%1  丢包:%2</source>
        <translation>Pings: %1  lost: %2</translation>
    </message>
    <message>
        <source>(约:由5分钟汇总数据估算)</source>
        <translation>(~: estimated from 5-minute summaries)</translation>
    </message>
    <message>
        <source>时间,结果,毫秒,状态</source>
        <translation>Time,Result,ms,Status</translation>
    </message>
    <message>
        <source>开始时间,SOCKET结果,异常,应答数,应答最小ms,应答平均ms,应答最大ms,应答P95ms,Ping,丢包,Ping最小ms,Ping平均ms,Ping最大ms,PingP95ms</source>
        <translation>Start,Socket results,Faults,Replies,Reply min ms,Reply avg ms,Reply max ms,Reply P95 ms,Pings,Lost,Ping min ms,Ping avg ms,Ping max ms,Ping P95 ms</translation>
    </message>
</context>
<context>
    <name>HistorySchema</name>
    <message>
        <source>历史记录文件 %1 %2，无法改名，本次运行不记录历史。</source>
        <translation>The history file %1 %2 and cannot be renamed; no history is recorded in this run.</translation>
    </message>
    <message>
        <source>历史记录文件 %1 %2，已改名为 %3，并新建了历史记录文件。</source>
        <translation>The history file %1 %2; it was renamed to %3 and a new history file was created.</translation>
    </message>
    <message>
        <source>无法打开历史记录文件 %1：%2，本次运行不记录历史。</source>
        <translation>Cannot open the history file %1: %2; no history is recorded in this run.</translation>
    </message>
    <message>
        <source>由较新版本的程序创建</source>
        <translation>was made by a newer version of the program</translation>
    </message>
    <message>
        <source>已损坏或不是历史记录文件</source>
        <translation>is damaged or not a history file</translation>
    </message>
    <message>
        <source>由较旧版本的程序创建，尚未升级</source>
        <translation>was made by an older version of the program and has not been upgraded yet</translation>
    </message>
    <message>
        <source>文件或其所在的文件夹是只读的</source>
        <translation>the file or its folder is read-only</translation>
    </message>
    <message>
        <source>文件正被其他程序占用</source>
        <translation>the file is in use by another program</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>unknown error</translation>
    </message>
</context>
<context>
    <name>HistoryWriter</name>
    <message>
        <source>无法写入历史记录文件 %1：%2，历史记录已停止，监控照常进行。</source>
        <translation>Cannot write the history file %1: %2. History recording has stopped; monitoring goes on.</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>unknown error</translation>
    </message>
</context>
<context>
    <name>HttpCheckFields</name>
    <message>
        <source>跟随重定向</source>
        <translation>Follow redirects</translation>
    </message>
    <message>
        <source>http:// 或 https:// 开头,可带端口、路径和查询;地址和端口由此得出</source>
        <translation>Starts with http:// or https://, may give a port, a path and a query; the address and port are taken from it</translation>
    </message>
    <message>
        <source>最多跟随10次重定向</source>
        <translation>At most 10 redirects are followed</translation>
    </message>
    <message>
        <source>每行一个,写成“名称: 值”;凭据也写在这里</source>
        <translation>One per line, written “Name: value”; credentials go here too</translation>
    </message>
    <message>
        <source>状态码和范围,以逗号分隔,如 200-299,301,404</source>
        <translation>Status codes and ranges separated by commas, such as 200-299,301,404</translation>
    </message>
    <message>
        <source>为空时不检查;比较符可用 ==、!=、&lt;、&lt;=、&gt;、&gt;=、contains、exists;字符串加双引号,数字和 true、false、null 不加</source>
        <translation>Empty: not checked. Operators: ==, !=, &lt;, &lt;=, &gt;, &gt;=, contains, exists. Strings in double quotes; numbers, true, false and null without</translation>
    </message>
    <message>
        <source>URL:</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>请求方法:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>请求头:</source>
        <translation>Headers:</translation>
    </message>
    <message>
        <source>接受的状态码:</source>
        <translation>Accepted status:</translation>
    </message>
    <message>
        <source>JSON条件:</source>
        <translation>JSON condition:</translation>
    </message>
</context>
<context>
    <name>HttpCheckPlan</name>
    <message>
        <source>请求方法无效:%1</source>
        <translation>Invalid request method: %1</translation>
    </message>
    <message>
        <source>重定向次数过多</source>
        <translation>Too many redirects</translation>
    </message>
    <message>
        <source>状态码不符:%1</source>
        <translation>Unexpected status code: %1</translation>
    </message>
    <message>
        <source>未找到期望文本</source>
        <translation>Expected text not found</translation>
    </message>
    <message>
        <source>JSON条件不成立:</source>
        <translation>JSON condition does not hold: </translation>
    </message>
</context>
<context>
    <name>HttpHeaderLines</name>
    <message>
        <source>请求头第 %1 行没有冒号,应写成“名称: 值”！</source>
        <translation>Header line %1 has no colon; write it as “Name: value”.</translation>
    </message>
    <message>
        <source>请求头第 %1 行的名称“%2”无效！</source>
        <translation>The name “%2” on header line %1 is not valid.</translation>
    </message>
    <message>
        <source>请求头第 %1 行的值含有控制字符！</source>
        <translation>The value on header line %1 contains a control character.</translation>
    </message>
</context>
<context>
    <name>HttpProbe</name>
    <message>
        <source>正在尝试连接服务器</source>
        <translation>Connecting to the server</translation>
    </message>
    <message>
        <source>SOCKET错误:</source>
        <translation>Socket error: </translation>
    </message>
    <message>
        <source>已发送数据包,等待回应...</source>
        <translation>Request sent, waiting for the reply...</translation>
    </message>
    <message>
        <source>累计错误数:</source>
        <translation>Faults so far: </translation>
    </message>
    <message>
        <source>超过</source>
        <translation>over </translation>
    </message>
    <message>
        <source>SOCKET超时:</source>
        <translation>Socket time-out: </translation>
    </message>
</context>
<context>
    <name>HttpProbeTest</name>
    <message>
        <source>SOCKET错误:</source>
        <translation>Socket error: </translation>
    </message>
    <message>
        <source>已收到正确的回应包</source>
        <translation>Correct reply received</translation>
    </message>
    <message>
        <source>SOCKET超时:%1ms</source>
        <translation>Socket time-out: %1ms</translation>
    </message>
    <message>
        <source>HTTP测试:</source>
        <translation>HTTP test: </translation>
    </message>
    <message>
        <source>用时:%1 (解析 %2, 连接 %3, TLS %4, 等待首字节 %5, 传输 %6)</source>
        <translation>Time: %1 (lookup %2, connect %3, TLS %4, waiting for the first byte %5, transfer %6)</translation>
    </message>
    <message>
        <source>重定向:%1次</source>
        <translation>Redirects: %1</translation>
    </message>
    <message>
        <source>…(只显示前%1KB)</source>
        <translation>… (only the first %1 KB shown)</translation>
    </message>
    <message>
        <source>等待回应</source>
        <translation>waiting for the reply</translation>
    </message>
    <message>
        <source>正在连接</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>空闲</source>
        <translation>idle</translation>
    </message>
    <message>
        <source>已完成</source>
        <translation>done</translation>
    </message>
    <message>
        <source>] 状态:</source>
        <translation>] State: </translation>
    </message>
</context>
<context>
    <name>HttpStatusCodes</name>
    <message>
        <source>接受的状态码不能为空,如 200-299,301！</source>
        <translation>The accepted status codes must not be empty; write them like 200-299,301.</translation>
    </message>
    <message>
        <source>接受的状态码“%1”无效,只能是 100 到 599 之间的状态码或范围,如 200-299,301！</source>
        <translation>The accepted status code “%1” is not valid: use status codes or ranges from 100 to 599, such as 200-299,301.</translation>
    </message>
    <message>
        <source>接受的状态码范围“%1”的起点大于终点！</source>
        <translation>The accepted status range “%1” starts above its end.</translation>
    </message>
</context>
<context>
    <name>HttpUrl</name>
    <message>
        <source>URL不能为空！</source>
        <translation>The URL must not be empty.</translation>
    </message>
    <message>
        <source>URL不能包含空格或控制字符！</source>
        <translation>The URL must not contain blanks or control characters.</translation>
    </message>
    <message>
        <source>URL必须以 http:// 或 https:// 开头！</source>
        <translation>The URL must start with http:// or https://.</translation>
    </message>
    <message>
        <source>URL不能包含用户名和密码(user:password@),请把凭据写在请求头中！</source>
        <translation>The URL must not contain a user name and password (user:password@); put credentials in a header.</translation>
    </message>
    <message>
        <source>URL中的IPv6地址缺少右方括号 ]！</source>
        <translation>The IPv6 address in the URL lacks its closing bracket ].</translation>
    </message>
    <message>
        <source>URL中方括号内不是有效的IPv6地址！</source>
        <translation>The brackets in the URL do not hold a valid IPv6 address.</translation>
    </message>
    <message>
        <source>URL中的IPv6地址后只能跟 :端口！</source>
        <translation>Only :port may follow the IPv6 address in the URL.</translation>
    </message>
    <message>
        <source>URL中的IPv6地址要写在方括号内,如 http://[::1]:8080/！</source>
        <translation>An IPv6 address in a URL goes in brackets, such as http://[::1]:8080/.</translation>
    </message>
    <message>
        <source>URL缺少主机名！</source>
        <translation>The URL has no host.</translation>
    </message>
    <message>
        <source>URL中的主机不是有效的主机名或IP地址！</source>
        <translation>The host in the URL is no valid host name or IP address.</translation>
    </message>
    <message>
        <source>URL中的端口必须是 1 到 65535 之间的整数！</source>
        <translation>The port in the URL must be a whole number from 1 to 65535.</translation>
    </message>
</context>
<context>
    <name>JsonCondition</name>
    <message>
        <source>数字</source>
        <translation>a number</translation>
    </message>
    <message>
        <source>字符串</source>
        <translation>a string</translation>
    </message>
    <message>
        <source>布尔值</source>
        <translation>a Boolean</translation>
    </message>
    <message>
        <source>数组</source>
        <translation>an array</translation>
    </message>
    <message>
        <source>对象</source>
        <translation>an object</translation>
    </message>
    <message>
        <source>JSON条件必须以 $ 开头,如 $.a.b[0].c == 1！</source>
        <translation>The JSON condition must start with $, such as $.a.b[0].c == 1.</translation>
    </message>
    <message>
        <source>JSON条件的路径第 %1 个字符处有误,应写成 .名称、[&quot;名称&quot;] 或 [序号]！</source>
        <translation>The JSON condition’s path is wrong at character %1; write .name, [&quot;name&quot;] or [index].</translation>
    </message>
    <message>
        <source>JSON条件缺少比较符,可用 ==、!=、&lt;、&lt;=、&gt;、&gt;=、contains 或 exists！</source>
        <translation>The JSON condition has no operator; use ==, !=, &lt;, &lt;=, &gt;, &gt;=, contains or exists.</translation>
    </message>
    <message>
        <source>JSON条件的 exists 后面不能有值！</source>
        <translation>No value may follow exists in the JSON condition.</translation>
    </message>
    <message>
        <source>JSON条件缺少比较的值！</source>
        <translation>The JSON condition has no value to compare with.</translation>
    </message>
    <message>
        <source>JSON条件的值“%1”无效:字符串要加双引号,数字和 true、false、null 不加！</source>
        <translation>The JSON condition’s value “%1” is not valid: strings go in double quotes, numbers, true, false and null without.</translation>
    </message>
    <message>
        <source>回应不是JSON</source>
        <translation>the reply is not JSON</translation>
    </message>
    <message>
        <source>路径不存在:%1</source>
        <translation>no such path: %1</translation>
    </message>
    <message>
        <source>类型不符:%1 是%2</source>
        <translation>type mismatch: %1 is %2</translation>
    </message>
</context>
<context>
    <name>MaintenanceCatalogue</name>
    <message>
        <source>无法读取维护计划</source>
        <translation>Cannot read the maintenance windows</translation>
    </message>
</context>
<context>
    <name>MetricsService</name>
    <message>
        <source>无法在 %1 提供监控指标:%2</source>
        <translation>Cannot serve metrics on %1: %2</translation>
    </message>
    <message>
        <source>监控指标地址无效:</source>
        <translation>Invalid metrics address: </translation>
    </message>
</context>
<context>
    <name>ModuleDB</name>
    <message>
        <source>数据库操作失败:</source>
        <translation>Database operation failed: </translation>
    </message>
    <message>
        <source><byte value="xd"/>
错误描述:</source>
        <translation><byte value="xd"/>
Error: </translation>
    </message>
    <message>
        <source>数据库：连接成功</source>
        <translation>Database: connected</translation>
    </message>
    <message>
        <source>数据库：连接失败</source>
        <translation>Database: not connected</translation>
    </message>
    <message>
        <source>数据库未连接</source>
        <translation>The database is not connected</translation>
    </message>
    <message>
        <source>数据库文件%1由更新版本的程序创建(版本%2),本程序只能打开版本%3及以前的文件。为保护其中的数据,该文件未被打开,也未作任何改动。</source>
        <translation>The database file %1 was created by a newer version of the program (version %2); this program opens version %3 and older only. To protect its data, the file was neither opened nor changed.</translation>
    </message>
    <message>
        <source>数据库文件%1需要从版本%2升级到版本%3,升级失败(%4)。为保护其中的数据,该文件未被打开,也未作任何改动。</source>
        <translation>The database file %1 needs an upgrade from version %2 to version %3, which failed (%4). To protect its data, the file was neither opened nor changed.</translation>
    </message>
    <message>
        <source>数据库离线(只读),暂时不能修改服务器列表,请在数据库恢复连接后重试</source>
        <translation>The database is offline (read only): the server list cannot be changed now; try again once the database is back</translation>
    </message>
    <message>
        <source>数据库在5秒内未响应</source>
        <translation>The database did not respond within 5 seconds</translation>
    </message>
    <message>
        <source>数据库：离线(只读)</source>
        <translation>Database: offline (read only)</translation>
    </message>
</context>
<context>
    <name>NetworkCheck</name>
    <message>
        <source>网络检测地址均无响应:</source>
        <translation>No network check address answers: </translation>
    </message>
    <message>
        <source>注意:本机网络异常</source>
        <translation>Warning: local network down</translation>
    </message>
    <message>
        <source>网络检测地址已响应:</source>
        <translation>Network check address answers again: </translation>
    </message>
    <message>
        <source>注意:本机网络已恢复</source>
        <translation>Note: local network is back</translation>
    </message>
</context>
<context>
    <name>OneShotTest</name>
    <message>
        <source>测试错误：</source>
        <translation>Test error: </translation>
    </message>
    <message>
        <source><byte value="xd"/>
[数据过长,只显示前4KB,其余已截去]</source>
        <translation><byte value="xd"/>
[Too long: only the first 4 KB are shown]</translation>
    </message>
    <message>
        <source>] 状态:</source>
        <translation>] State: </translation>
    </message>
    <message>
        <source>SOCKET错误：</source>
        <translation>Socket error: </translation>
    </message>
</context>
<context>
    <name>SendTestCommand</name>
    <message>
        <source>无法打开服务器列表 </source>
        <translation>Cannot open the server list </translation>
    </message>
    <message>
        <source>没有名为“%1”的通知渠道</source>
        <translation>There is no notification channel named &quot;%1&quot;</translation>
    </message>
    <message>
        <source>测试消息没有送达“%1”:%2
</source>
        <translation>The test message did not reach &quot;%1&quot;: %2
</translation>
    </message>
    <message>
        <source>测试消息已送达“%1”
</source>
        <translation>The test message reached &quot;%1&quot;
</translation>
    </message>
</context>
<context>
    <name>ServerAlerts</name>
    <message>
        <source>服务器:%1<byte value="xd"/>
IP:%2<byte value="xd"/>
故障时长:%3</source>
        <translation>Server: %1<byte value="xd"/>
IP: %2<byte value="xd"/>
Down for: %3</translation>
    </message>
    <message>
        <source>注意:服务器已恢复</source>
        <translation>Server recovered</translation>
    </message>
    <message>
        <source>响应缓慢:%1ms</source>
        <translation>Slow reply: %1 ms</translation>
    </message>
    <message>
        <source>%1天%2小时%3分%4秒</source>
        <translation>%1 d %2 h %3 min %4 s</translation>
    </message>
    <message>
        <source>%1小时%2分%3秒</source>
        <translation>%1 h %2 min %3 s</translation>
    </message>
    <message>
        <source>%1分%2秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1秒</source>
        <translation>%1 s</translation>
    </message>
</context>
<context>
    <name>ServerCatalogue</name>
    <message>
        <source>该服务器已被他人修改,请重新打开后再编辑</source>
        <translation>Someone else has changed this server; open it again to edit it</translation>
    </message>
    <message>
        <source>无法读取服务器信息</source>
        <translation>Cannot read the server</translation>
    </message>
</context>
<context>
    <name>ServerChecks</name>
    <message>
        <source>服务器名称不能为空！</source>
        <translation>The server name must not be empty.</translation>
    </message>
    <message>
        <source>服务器IP地址不能为空！</source>
        <translation>The server address must not be empty.</translation>
    </message>
    <message>
        <source>请求方法只能是 GET、HEAD、POST 或 PUT！</source>
        <translation>The method must be GET, HEAD, POST or PUT.</translation>
    </message>
</context>
<context>
    <name>ServerEditor</name>
    <message>
        <source>服务器信息</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>启用监控</source>
        <translation>Monitor this server</translation>
    </message>
    <message>
        <source>加载模版</source>
        <translation>Template</translation>
    </message>
    <message>
        <source>测试</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>SOCKET状态:</source>
        <translation>Socket state:</translation>
    </message>
    <message>
        <source>服务器名:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>I   P地址:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>目标端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>发送数据:</source>
        <translation>Request:</translation>
    </message>
    <message>
        <source>响应数据:</source>
        <translation>Expected reply:</translation>
    </message>
    <message>
        <source>数据库中无该端口信息</source>
        <translation>No template for this port in the database</translation>
    </message>
    <message>
        <source>端口类型[</source>
        <translation>Port type [</translation>
    </message>
    <message>
        <source>正确的回应慢于此毫秒数时提示响应缓慢,0为不提示</source>
        <translation>Warn when a correct reply takes longer than this many milliseconds; 0 for no warning</translation>
    </message>
    <message>
        <source>响应警告(ms):</source>
        <translation>Warn after (ms):</translation>
    </message>
    <message>
        <source>响应警告(ms)必须是0到3600000之间的整数,0为不提示！</source>
        <translation>The warning time must be a whole number of milliseconds from 0 to 3600000; 0 for no warning.</translation>
    </message>
    <message>
        <source>忽略证书错误</source>
        <translation>Ignore certificate errors</translation>
    </message>
    <message>
        <source>证书应当属于的主机名,为空时使用IP地址</source>
        <translation>The host name the certificate should belong to; empty for the IP address</translation>
    </message>
    <message>
        <source>为空时使用IP地址</source>
        <translation>Empty: the IP address</translation>
    </message>
    <message>
        <source>不受信任和主机名不符不算故障,到期仍然提醒</source>
        <translation>An untrusted certificate or a wrong host name is no fault; expiry is still warned about</translation>
    </message>
    <message>
        <source>证书剩余天数不超过此值时提醒一次,0为不提醒</source>
        <translation>Warn once when the certificate has no more than this many days left; 0 for no warning</translation>
    </message>
    <message>
        <source>传输方式:</source>
        <translation>Transport:</translation>
    </message>
    <message>
        <source>TLS主机名:</source>
        <translation>TLS name:</translation>
    </message>
    <message>
        <source>证书到期提醒(天):</source>
        <translation>Warn before expiry (days):</translation>
    </message>
    <message>
        <source>TCP</source>
        <translation>TCP</translation>
    </message>
    <message>
        <source>HTTP(S)</source>
        <translation>HTTP(S)</translation>
    </message>
    <message>
        <source>检查方式:</source>
        <translation>Check:</translation>
    </message>
    <message>
        <source>POST 和 PUT 请求的正文</source>
        <translation>The body of POST and PUT requests</translation>
    </message>
    <message>
        <source>回应正文应当包含的文字,为空时不检查</source>
        <translation>Text the reply body must contain; empty: not checked</translation>
    </message>
    <message>
        <source>上级服务器:</source>
        <translation>Parent server:</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>不能形成循环依赖</source>
        <translation>Dependencies cannot form a loop</translation>
    </message>
    <message>
        <source>逗号分隔的位置名称;留空表示所有位置都监测</source>
        <translation>Location names separated by commas; empty: monitored from every location</translation>
    </message>
    <message>
        <source>监测位置:</source>
        <translation>Locations:</translation>
    </message>
    <message>
        <source>监测位置的名称不能包含换行、制表符等控制字符！</source>
        <translation>Location names must not contain line breaks, tabs or other control characters.</translation>
    </message>
</context>
<context>
    <name>ServerMonitor</name>
    <message>
        <source>开始监控</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>任务等待开始</source>
        <translation>Waiting to start</translation>
    </message>
    <message>
        <source>[等待开始任务]</source>
        <translation> [Waiting to start]</translation>
    </message>
    <message>
        <source>等待开始任务...</source>
        <translation>Waiting to start...</translation>
    </message>
    <message>
        <source>停止监控</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>正在监控...</source>
        <translation>Monitoring...</translation>
    </message>
    <message>
        <source>Socket异常:</source>
        <translation>Socket faults: </translation>
    </message>
    <message>
        <source>Ping异常:</source>
        <translation>Ping faults: </translation>
    </message>
    <message>
        <source>下次开始任务:</source>
        <translation>Next pass in </translation>
    </message>
    <message>
        <source>秒后</source>
        <translation> s</translation>
    </message>
    <message>
        <source> 秒后开始下次任务]</source>
        <translation> s to the next pass]</translation>
    </message>
    <message>
        <source>任务正在进行:</source>
        <translation>Pass running since </translation>
    </message>
    <message>
        <source>[任务正在进行...]</source>
        <translation> [Pass running...]</translation>
    </message>
    <message>
        <source>本机网络异常</source>
        <translation>Local network down</translation>
    </message>
    <message>
        <source>平均延时:</source>
        <translation>Average </translation>
    </message>
    <message>
        <source>ms  丢包率:</source>
        <translation> ms  loss </translation>
    </message>
    <message>
        <source>无法发送PING:请运行 setcap cap_net_raw+ep </source>
        <translation>Cannot send pings. Run setcap cap_net_raw+ep </translation>
    </message>
    <message>
        <source>注意:无法发送PING</source>
        <translation>Warning: cannot send pings</translation>
    </message>
    <message>
        <source>注意:服务器测试返回异常</source>
        <translation>Warning: server check failed</translation>
    </message>
    <message>
        <source>注意:服务器PING异常</source>
        <translation>Warning: server does not answer pings</translation>
    </message>
    <message>
        <source><byte value="xd"/>
状态:</source>
        <translation><byte value="xd"/>
Status: </translation>
    </message>
    <message>
        <source>SOCKET回应:0/</source>
        <translation>Socket replies: 0/</translation>
    </message>
    <message>
        <source>SOCKET回应:</source>
        <translation>Socket replies: </translation>
    </message>
</context>
<context>
    <name>ServerRowModel</name>
    <message>
        <source>启用</source>
        <translation>On</translation>
    </message>
    <message>
        <source>服务器名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>IP地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>SOCKET时间</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>SOCKET错误</source>
        <translation>Faults</translation>
    </message>
    <message>
        <source>Ping延时</source>
        <translation>Ping</translation>
    </message>
    <message>
        <source>Ping错误</source>
        <translation>Lost</translation>
    </message>
    <message>
        <source>Ping明细</source>
        <translation>Ping stats</translation>
    </message>
    <message>
        <source>WinSock发送数据</source>
        <translation>Request</translation>
    </message>
    <message>
        <source>正确应答数据</source>
        <translation>Expected</translation>
    </message>
    <message>
        <source>入库时间</source>
        <translation>Added</translation>
    </message>
    <message>
        <source>初始化完成</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>【静默】</source>
        <translation>[Silenced] </translation>
    </message>
    <message>
        <source>静默至恢复</source>
        <translation>Silenced until it recovers</translation>
    </message>
    <message>
        <source>静默至</source>
        <translation>Silenced until </translation>
    </message>
    <message>
        <source>【维护】</source>
        <translation>[Maintenance] </translation>
    </message>
    <message>
        <source>【频繁】</source>
        <translation>[Flapping] </translation>
    </message>
</context>
<context>
    <name>ServerSilence</name>
    <message>
        <source>静默1小时</source>
        <translation>Silence for 1 Hour</translation>
    </message>
    <message>
        <source>静默至恢复</source>
        <translation>Silence until Recovery</translation>
    </message>
    <message>
        <source>取消静默</source>
        <translation>End Silence</translation>
    </message>
</context>
<context>
    <name>SetupValues</name>
    <message>
        <source>循环任务间隔必须是不小于 1 的数字（秒）。</source>
        <translation>The interval must be a number of seconds, at least 1.</translation>
    </message>
    <message>
        <source>POST报警阀值必须是不小于 0 的整数。</source>
        <translation>The socket alert limit must be a whole number from 0.</translation>
    </message>
    <message>
        <source>PING报警阀值必须是不小于 0 的整数。</source>
        <translation>The ping alert limit must be a whole number from 0.</translation>
    </message>
    <message>
        <source>SOCKET超时必须是 1 到 3600000 之间的整数（毫秒）。</source>
        <translation>The socket time-out must be a whole number of milliseconds from 1 to 3600000.</translation>
    </message>
    <message>
        <source>原始数据保留天数必须是 1 到 3650 之间的整数。</source>
        <translation>The days to keep raw results must be a whole number from 1 to 3650.</translation>
    </message>
    <message>
        <source>历史数据保留天数必须是 1 到 36500 之间的整数，且不少于原始数据保留天数。</source>
        <translation>The days to keep history must be a whole number from 1 to 36500, and no fewer than the days to keep raw results.</translation>
    </message>
    <message>
        <source>系统默认皮肤的名称不能包含换行符。</source>
        <translation>The skin name must not contain a line break.</translation>
    </message>
    <message>
        <source>网络检测地址无法识别:</source>
        <translation>Network check addresses not understood: </translation>
    </message>
    <message>
        <source>持续故障提醒间隔必须是不小于 0 的整数（分钟）。</source>
        <translation>The reminder interval must be a whole number of minutes of at least 0.</translation>
    </message>
    <message>
        <source>频繁变化阈值必须是 0 到 20 之间的整数。</source>
        <translation>The flapping limit must be a whole number from 0 to 20.</translation>
    </message>
    <message>
        <source>数据库连接:</source>
        <translation>Database address:</translation>
    </message>
    <message>
        <source>数据库连接不能包含换行符。</source>
        <translation>The database address must not contain a line break.</translation>
    </message>
</context>
<context>
    <name>SocketElement</name>
    <message>
        <source>关闭</source>
        <translation>closed</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>open</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>listening</translation>
    </message>
    <message>
        <source>连接未定</source>
        <translation>connection pending</translation>
    </message>
    <message>
        <source>解析主机</source>
        <translation>resolving host</translation>
    </message>
    <message>
        <source>决定主机</source>
        <translation>host resolved</translation>
    </message>
    <message>
        <source>正在连接</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>已关闭</source>
        <translation>closing</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>error</translation>
    </message>
    <message>
        <source>Invalid port number: %1</source>
        <translation>Invalid port number: %1</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>连接被对方重置</source>
        <translation>connection reset by peer</translation>
    </message>
    <message>
        <source>连接超时</source>
        <translation>connection timed out</translation>
    </message>
    <message>
        <source>主机不可达</source>
        <translation>host unreachable</translation>
    </message>
    <message>
        <source>网络不可达</source>
        <translation>network unreachable</translation>
    </message>
    <message>
        <source>找不到主机</source>
        <translation>host not found</translation>
    </message>
    <message>
        <source>系统资源不足</source>
        <translation>out of system resources</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>地址不可用</source>
        <translation>address not available</translation>
    </message>
    <message>
        <source>不支持的地址类型</source>
        <translation>address family not supported</translation>
    </message>
    <message>
        <source>网络错误(%1)</source>
        <translation>network error (%1)</translation>
    </message>
</context>
<context>
    <name>StartTlsDialogue</name>
    <message>
        <source>应答过长</source>
        <translation>reply too long</translation>
    </message>
    <message>
        <source>应答行过长</source>
        <translation>reply line too long</translation>
    </message>
    <message>
        <source>对方关闭了连接</source>
        <translation>closed by the peer</translation>
    </message>
    <message>
        <source>对方应答:%1</source>
        <translation>the server answered: %1</translation>
    </message>
</context>
<context>
    <name>TcpProbe</name>
    <message>
        <source>超过</source>
        <translation>over </translation>
    </message>
    <message>
        <source>SOCKET超时:</source>
        <translation>Socket time-out: </translation>
    </message>
    <message>
        <source>正在尝试连接服务器</source>
        <translation>Connecting to the server</translation>
    </message>
    <message>
        <source>已发送数据包,等待回应...</source>
        <translation>Request sent, waiting for the reply...</translation>
    </message>
    <message>
        <source>已收到正确的回应包</source>
        <translation>Correct reply received</translation>
    </message>
    <message>
        <source>累计错误数:0</source>
        <translation>Faults so far: 0</translation>
    </message>
    <message>
        <source>注意:服务器响应缓慢</source>
        <translation>Warning: server replies slowly</translation>
    </message>
    <message>
        <source>应答包错误：</source>
        <translation>Wrong reply: </translation>
    </message>
    <message>
        <source>累计错误数:</source>
        <translation>Faults so far: </translation>
    </message>
    <message>
        <source>SOCKET错误:</source>
        <translation>Socket error: </translation>
    </message>
    <message>
        <source>证书错误:已过期</source>
        <translation>Certificate error: expired</translation>
    </message>
    <message>
        <source>证书错误:不受信任</source>
        <translation>Certificate error: not trusted</translation>
    </message>
    <message>
        <source>证书错误:主机名不匹配</source>
        <translation>Certificate error: host name mismatch</translation>
    </message>
    <message>
        <source>TLS握手失败:</source>
        <translation>TLS handshake failed: </translation>
    </message>
    <message>
        <source>不支持STARTTLS</source>
        <translation>STARTTLS not supported</translation>
    </message>
</context>
<context>
    <name>TlsContext</name>
    <message>
        <source>无法建立TLS环境:%1</source>
        <translation>cannot set up TLS: %1</translation>
    </message>
    <message>
        <source>无法读取CA文件%1:%2</source>
        <translation>cannot read the CA file %1: %2</translation>
    </message>
</context>
<context>
    <name>TlsNameCheck</name>
    <message>
        <source>TLS主机名不能包含空格！</source>
        <translation>The TLS name must not contain blanks.</translation>
    </message>
    <message>
        <source>TLS主机名不能包含协议(如 https://),只填主机名！</source>
        <translation>The TLS name must not contain a scheme (such as https://); enter the host name only.</translation>
    </message>
    <message>
        <source>TLS主机名不能包含端口,只填主机名！</source>
        <translation>The TLS name must not contain a port; enter the host name only.</translation>
    </message>
</context>
<context>
    <name>TlsProbeTest</name>
    <message>
        <source>测试错误：</source>
        <translation>Test error: </translation>
    </message>
    <message>
        <source>] 状态:</source>
        <translation>] State: </translation>
    </message>
    <message>
        <source>已收到正确的回应包</source>
        <translation>Correct reply received</translation>
    </message>
    <message>
        <source>应答包错误：</source>
        <translation>Wrong reply: </translation>
    </message>
    <message>
        <source>SOCKET超时:%1ms</source>
        <translation>Socket time-out: %1ms</translation>
    </message>
</context>
<context>
    <name>TlsSession</name>
    <message>
        <source>无效的服务器名称:%1</source>
        <translation>invalid server name: %1</translation>
    </message>
    <message>
        <source>对方关闭了连接</source>
        <translation>closed by the peer</translation>
    </message>
    <message>
        <source>未知错误(%1)</source>
        <translation>unknown error (%1)</translation>
    </message>
</context>
<context>
    <name>TransportLabels</name>
    <message>
        <source>TLS</source>
        <translation>TLS</translation>
    </message>
    <message>
        <source>STARTTLS (SMTP)</source>
        <translation>STARTTLS (SMTP)</translation>
    </message>
    <message>
        <source>STARTTLS (IMAP)</source>
        <translation>STARTTLS (IMAP)</translation>
    </message>
    <message>
        <source>STARTTLS (POP3)</source>
        <translation>STARTTLS (POP3)</translation>
    </message>
    <message>
        <source>STARTTLS (FTP)</source>
        <translation>STARTTLS (FTP)</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>WebhookTemplate</name>
    <message>
        <source>消息模板替换后不是有效的JSON:%1</source>
        <translation>The body template is not valid JSON once filled in: %1</translation>
    </message>
</context>
<context>
    <name>WindowProgram</name>
    <message>
        <source>无法启动</source>
        <translation>Cannot start</translation>
    </message>
    <message>
        <source>servermon 已在运行</source>
        <translation>servermon is already running</translation>
    </message>
    <message>
        <source>后台监控服务(servermon --headless)正在使用数据文件夹:
%1

如需打开窗口,请先停止该服务:
%2</source>
        <translation>The background monitoring service (servermon --headless) is using the data folder:
%1

To open the window, stop the service first:
%2</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>系统信息(&amp;S)...</source>
        <translation>&amp;System Info...</translation>
    </message>
    <message>
        <source>关于本软件[云杉工作室]</source>
        <translation>About [Spruce Studio]</translation>
    </message>
    <message>
        <source>定时连接所监控的服务器，发送请求、核对回应并测量回应时间，同时用 Ping 检测网络是否通畅；服务器连续出错时以声音、托盘气泡和闪烁图标报警。</source>
        <translation>Connects to the monitored servers at regular intervals, sends a request, checks the reply and measures the reply time, and pings each server to check the network. A server that keeps failing raises an alert with a sound, a tray notification and a flashing icon.</translation>
    </message>
    <message>
        <source>版权所有 (C) 云杉工作室。本软件是自由软件，按 GNU 通用公共许可证第 3 版或（由您选择）任何更新的版本（GPL-3.0-or-later）发布，您可以自由地复制、修改和分发；本软件不提供任何担保。</source>
        <translation>Copyright (C) Spruce Studio. This is free software, released under the GNU General Public License version 3 or (at your option) any later version (GPL-3.0-or-later): you may copy, change and distribute it freely. It comes with no warranty.</translation>
    </message>
    <message>
        <source>关于 </source>
        <translation>About </translation>
    </message>
    <message>
        <source>版本 </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>此时系统信息不可用</source>
        <translation>System information is not available.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>servermon 已在运行,数据文件夹:</source>
        <translation>servermon is already running, data folder: </translation>
    </message>
    <message>
        <source>servermon 没有启动:无法锁定锁文件 %1(%2)</source>
        <translation>servermon did not start: cannot lock the lock file %1 (%2)</translation>
    </message>
</context>
</TS>
