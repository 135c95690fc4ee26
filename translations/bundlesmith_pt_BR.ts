<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="pt_BR">
<context>
    <name>AuthorManifest</name>
    <message>
        <source> and %1 more</source>
        <translation> e mais %1</translation>
    </message>
</context>
<context>
    <name>PackBuild</name>
    <message>
        <source>Creating Script Info File</source>
        <translation>Criando o arquivo de informações do script</translation>
    </message>
    <message>
        <source>Creating Script Pack</source>
        <translation>Criando o Script Pack</translation>
    </message>
    <message>
        <source>Adding File:  </source>
        <translation>Adicionando arquivo:  </translation>
    </message>
    <message>
        <source>There is no Script Pack to write at '%1'.</source>
        <translation>Não há Script Pack a gravar em '%1'.</translation>
    </message>
    <message>
        <source>The Script Pack '%1' is read-only.</source>
        <translation>O Script Pack '%1' é somente leitura.</translation>
    </message>
    <message>
        <source>The folder '%1' no longer exists.</source>
        <translation>A pasta '%1' não existe mais.</translation>
    </message>
    <message>
        <source>The folder '%1' is read-only.</source>
        <translation>A pasta '%1' é somente leitura.</translation>
    </message>
    <message>
        <source>Could not write in the folder '%1'.</source>
        <translation>Não foi possível gravar na pasta '%1'.</translation>
    </message>
    <message>
        <source>The script's own ScriptInfo.xml could not be written into the Script Pack.</source>
        <translation>O ScriptInfo.xml do próprio script não pôde ser gravado no Script Pack.</translation>
    </message>
    <message>
        <source>The build was cancelled.</source>
        <translation>A criação foi cancelada.</translation>
    </message>
    <message>
        <source>the manifest</source>
        <translation>o manifesto</translation>
    </message>
    <message>
        <source>the folder '%1'</source>
        <translation>a pasta '%1'</translation>
    </message>
    <message>
        <source>the loose files</source>
        <translation>os arquivos avulsos</translation>
    </message>
    <message>
        <source>Could not write the Script Pack '%1'.</source>
        <translation>Não foi possível gravar o Script Pack '%1'.</translation>
    </message>
    <message>
        <source>Two files would be stored as '%1'.</source>
        <translation>Dois arquivos seriam guardados como '%1'.</translation>
    </message>
    <message>
        <source>Could not read back the Script Pack just written.</source>
        <translation>Não foi possível reler o Script Pack recém-gravado.</translation>
    </message>
    <message>
        <source>The Script Pack holds a name twice.</source>
        <translation>O Script Pack contém um nome duas vezes.</translation>
    </message>
    <message>
        <source>The Script Pack lacks '%1'.</source>
        <translation>Falta '%1' no Script Pack.</translation>
    </message>
    <message>
        <source>The Script Pack holds '%1', which was not chosen.</source>
        <translation>O Script Pack contém '%1', que não foi escolhido.</translation>
    </message>
    <message>
        <source>The manifest names '%1', which the Script Pack does not hold.</source>
        <translation>O manifesto cita '%1', que o Script Pack não contém.</translation>
    </message>
    <message>
        <source>Could not write the Script Pack's folder '%1'.</source>
        <translation>Não foi possível gravar na pasta do Script Pack '%1'.</translation>
    </message>
    <message>
        <source>Archiving %1 failed (code %2).</source>
        <translation>Falha ao compactar %1 (código %2).</translation>
    </message>
    <message>
        <source>Could not read '%1': it changed while it was being packed.</source>
        <translation>Não foi possível ler '%1': ele mudou enquanto era empacotado.</translation>
    </message>
    <message>
        <source>Could not read '%1'.</source>
        <translation>Não foi possível ler '%1'.</translation>
    </message>
    <message>
        <source>Could not read '%1': it is no longer there.</source>
        <translation>Não foi possível ler '%1': ele não está mais lá.</translation>
    </message>
    <message>
        <source>Could not read '%1': it is not a regular file.</source>
        <translation>Não foi possível ler '%1': não é um arquivo comum.</translation>
    </message>
    <message>
        <source>The name '%1' can't be used in a Script Pack.</source>
        <translation>O nome '%1' não pode ser usado num Script Pack.</translation>
    </message>
    <message>
        <source>'%1' is the Script Pack being replaced, by another name or a link: it can't go into the new one.</source>
        <translation>'%1' é o Script Pack que está sendo substituído, por outro nome ou por um link: não pode entrar no novo.</translation>
    </message>
</context>
<context>
    <name>PackCommand</name>
    <message>
        <source>bundlesmith pack: interrupted; no pack was written, and an old one is as it was.</source>
        <translation>bundlesmith pack: interrompido; nenhum pack foi gravado, e um pack antigo ficou como estava.</translation>
    </message>
    <message>
        <source>There was an error creating the Script Pack.</source>
        <translation>Houve um erro ao criar o Script Pack.</translation>
    </message>
    <message>
        <source>No file of the Script Pack is named '%1'.</source>
        <translation>Nenhum arquivo do Script Pack se chama '%1'.</translation>
    </message>
    <message>
        <source> Nearest: %1.</source>
        <translation> Mais próximos: %1.</translation>
    </message>
    <message>
        <source>'%1' was registered in '%2', but no file of the Script Pack is named so; it is not registered now.</source>
        <translation>'%1' estava registrado em '%2', mas nenhum arquivo do Script Pack tem esse nome; agora ele não é registrado.</translation>
    </message>
    <message>
        <source>bundlesmith pack: %1
Try 'bundlesmith pack --help'.</source>
        <translation>bundlesmith pack: %1
Experimente 'bundlesmith pack --help'.</translation>
    </message>
    <message>
        <source>no file or folder to pack.</source>
        <translation>nenhum arquivo ou pasta para empacotar.</translation>
    </message>
    <message>
        <source>bundlesmith pack: '%1' exists; --force replaces it.</source>
        <translation>bundlesmith pack: '%1' já existe; --force o substitui.</translation>
    </message>
    <message>
        <source>bundlesmith pack: %1</source>
        <translation>bundlesmith pack: %1</translation>
    </message>
    <message>
        <source>bundlesmith: there is no display to show the window on; 'bundlesmith pack' builds a Script Pack without one.</source>
        <translation>bundlesmith: não há tela para mostrar a janela; 'bundlesmith pack' cria um Script Pack sem ela.</translation>
    </message>
    <message>
        <source>'%1' and '%2' are both a ScriptInfo.xml; a Script Pack has one.</source>
        <translation>'%1' e '%2' são ambos um ScriptInfo.xml; um Script Pack tem só um.</translation>
    </message>
    <message>
        <source>no script name (--name NAME).</source>
        <translation>falta o nome do script (--name NOME).</translation>
    </message>
    <message>
        <source>Script Name can be maximum of 127 characters</source>
        <translation>O nome do script pode ter no máximo 127 caracteres</translation>
    </message>
    <message>
        <source>'%1' cannot be registered both as COM and as .NET.</source>
        <translation>'%1' não pode ser registrado como COM e como .NET ao mesmo tempo.</translation>
    </message>
    <message>
        <source>The folder '%1' cannot be read.</source>
        <translation>A pasta '%1' não pode ser lida.</translation>
    </message>
    <message>
        <source>The name '%1' is not valid UTF-8.</source>
        <translation>O nome '%1' não é UTF-8 válido.</translation>
    </message>
    <message>
        <source>'%1' does not exist.</source>
        <translation>'%1' não existe.</translation>
    </message>
    <message>
        <source>'%1' holds its own ScriptInfo.xml, packed under the folder's name, where the host does not read it; 'pack --from %1' makes it the script's manifest.</source>
        <translation>'%1' tem seu próprio ScriptInfo.xml, empacotado sob o nome da pasta, onde o programa não o lê; 'pack --from %1' faz dele o manifesto do script.</translation>
    </message>
    <message>
        <source>the output '%1' names no file, nor a folder that exists.</source>
        <translation>a saída '%1' não indica um arquivo, nem uma pasta que exista.</translation>
    </message>
    <message>
        <source>the output '%1' is also one of the inputs.</source>
        <translation>a saída '%1' também é uma das entradas.</translation>
    </message>
    <message>
        <source>Usage: bundlesmith [OLD.plsc | ScriptInfo.xml | FOLDER]
       bundlesmith pack [OPTION]... PATH...
       bundlesmith pack --from FOLDER [OPTION]...

Without arguments the wizard starts; with a Script Pack, a ScriptInfo.xml or a
script folder it starts from that.
'pack' builds a Script Pack without a display. Each PATH is a folder (stored under
its own name with everything below it) or a file (stored at the root); the pack
holds the folders first, then the files, each in the order given. A ScriptInfo.xml
among them is the script's own manifest. ENTRY is a file's path in the pack, as
the manifest names it (lib\x.dll or lib/x.dll).

  --name NAME         script name, 1 to 127 characters
  --description TEXT  description (optional)
  --url URL           about URL (optional)
  --version V         script version (default 1.0)
  --com ENTRY         register ENTRY as a COM object (repeatable)
  --dotnet ENTRY      register ENTRY with the .NET utility (repeatable)
  --from SOURCE       take name, description, URL, version, registrations and the
                      rest of the manifest from an earlier pack, a ScriptInfo.xml
                      or a script folder; the options above override them. Without
                      PATH, a folder's contents (or the ScriptInfo.xml's folder's)
                      are packed at the root, as its author lays them out
  --exclude PATTERN   leave out what matches, by its path in the pack: '*.bak'
                      (a name at any depth), 'docs/**' (a path); repeatable
  --no-default-excludes
                      keep version-control data (.git, .svn, .hg, CVS) and desktop
                      files (Thumbs.db, desktop.ini, .DS_Store, __MACOSX), which
                      are otherwise left out of folders
  --strict            a name left out or a registration not carried over is an
                      error (exit 3), not a warning
  --list              print the entries the pack would hold, with their sizes, and
                      its manifest; write nothing
  -o, --output OUT    the pack to write (".plsc" is appended when missing); a
                      folder: NAME-VERSION.plsc in it; default: NAME-VERSION.plsc
                      in the current folder
  --force             replace OUT when it exists
  -q, --quiet         print nothing but errors
  -h, --help          show this text

'bundlesmith --version' shows the program's version.

Exit status: 0 written (or listed), 2 bad arguments, 3 refused input, 4 build
failed, 5 output exists (no --force), 130 or 143 interrupted (the old pack is
untouched).
</source>
        <translation>Uso: bundlesmith [ANTIGO.plsc | ScriptInfo.xml | PASTA]
     bundlesmith pack [OPÇÃO]... CAMINHO...
     bundlesmith pack --from PASTA [OPÇÃO]...

Sem argumentos, o assistente abre; com um Script Pack, um ScriptInfo.xml ou uma
pasta de script, ele começa a partir deles.
'pack' cria um Script Pack sem tela. Cada CAMINHO é uma pasta (guardada com o
próprio nome, com tudo o que tem dentro) ou um arquivo (guardado na raiz); o pack
contém primeiro as pastas, depois os arquivos, cada um na ordem dada. Um
ScriptInfo.xml entre eles é o manifesto do próprio script. ENTRADA é o caminho de
um arquivo no pack, como o manifesto o chama (lib\x.dll ou lib/x.dll).

  --name NOME          nome do script, de 1 a 127 caracteres
  --description TEXTO  descrição (opcional)
  --url URL            URL de ajuda (opcional)
  --version V          versão do script (padrão 1.0)
  --com ENTRADA        registra ENTRADA como objeto COM (pode repetir)
  --dotnet ENTRADA     registra ENTRADA com o utilitário .NET (pode repetir)
  --from ORIGEM        toma nome, descrição, URL, versão, registros e o resto do
                       manifesto de um pack anterior, de um ScriptInfo.xml ou de
                       uma pasta de script; as opções acima têm precedência. Sem
                       CAMINHO, o conteúdo da pasta (ou da pasta do ScriptInfo.xml)
                       vai para a raiz, como o autor o organiza
  --exclude PADRÃO     deixa de fora o que combina, pelo caminho no pack: '*.bak'
                       (um nome em qualquer nível), 'docs/**' (um caminho); pode
                       repetir
  --no-default-excludes
                       mantém dados de controle de versão (.git, .svn, .hg, CVS) e
                       arquivos da área de trabalho (Thumbs.db, desktop.ini,
                       .DS_Store, __MACOSX), que de outro modo ficam de fora
  --strict             um nome deixado de fora ou um registro não mantido é um
                       erro (saída 3), não um aviso
  --list               mostra as entradas que o pack teria, com seus tamanhos, e
                       seu manifesto; não grava nada
  -o, --output SAÍDA   o pack a gravar (".plsc" é acrescentado se faltar); uma
                       pasta: NOME-VERSÃO.plsc dentro dela; padrão: NOME-VERSÃO.plsc
                       na pasta atual
  --force              substitui SAÍDA se ela existir
  -q, --quiet          não mostra nada além de erros
  -h, --help           mostra este texto

'bundlesmith --version' mostra a versão do programa.

Códigos de saída: 0 gravado (ou listado), 2 argumentos inválidos, 3 entrada
recusada, 4 falha na criação, 5 a saída existe (sem --force), 130 ou 143
interrompido (o pack antigo fica intacto).
</translation>
    </message>
    <message>
        <source>bundlesmith: '%1' is neither a command nor an option; 'bundlesmith --help' lists them.</source>
        <translation>bundlesmith: '%1' não é um comando nem uma opção; 'bundlesmith --help' lista os dois.</translation>
    </message>
    <message>
        <source>'%1' is not a regular file.</source>
        <translation>'%1' não é um arquivo comum.</translation>
    </message>
    <message>
        <source>--%1 given more than once.</source>
        <translation>--%1 dado mais de uma vez.</translation>
    </message>
    <message>
        <source>the folder of the output '%1' does not exist.</source>
        <translation>a pasta da saída '%1' não existe.</translation>
    </message>
</context>
<context>
    <name>PackContents</name>
    <message>
        <source>its name is not valid UTF-8</source>
        <translation>seu nome não é UTF-8 válido</translation>
    </message>
    <message>
        <source>its path is too long</source>
        <translation>seu caminho é longo demais</translation>
    </message>
    <message>
        <source>version-control data is left out</source>
        <translation>dados de controle de versão ficam de fora</translation>
    </message>
    <message>
        <source>files the desktop makes are left out</source>
        <translation>arquivos criados pela área de trabalho ficam de fora</translation>
    </message>
    <message>
        <source>The folder '%1' is already part of the Script Pack.</source>
        <translation>A pasta '%1' já faz parte do Script Pack.</translation>
    </message>
    <message>
        <source>The file name '%1' can't be used in a Script Pack: %2.</source>
        <translation>O nome de arquivo '%1' não pode ser usado num Script Pack: %2.</translation>
    </message>
    <message>
        <source>Can't add a file named ScriptInfo.xml.</source>
        <translation>Não é possível adicionar um arquivo chamado ScriptInfo.xml.</translation>
    </message>
    <message>
        <source>A file called '%1' already exists in the file list.</source>
        <translation>Um arquivo chamado '%1' já existe na lista de arquivos.</translation>
    </message>
    <message>
        <source>The folder name '%1' can't be used in a Script Pack: %2.</source>
        <translation>O nome de pasta '%1' não pode ser usado num Script Pack: %2.</translation>
    </message>
    <message>
        <source>Can't add a folder named ScriptInfo.xml.</source>
        <translation>Não é possível adicionar uma pasta chamada ScriptInfo.xml.</translation>
    </message>
    <message>
        <source>A file or folder called '%1' already exists in the file list.</source>
        <translation>Um arquivo ou pasta chamado '%1' já existe na lista de arquivos.</translation>
    </message>
    <message>
        <source>another name in its folder differs from it only in case</source>
        <translation>outro nome na mesma pasta difere dele só em maiúsculas e minúsculas</translation>
    </message>
    <message>
        <source>These files and folders were left out of the Script Pack:</source>
        <translation>Estes arquivos e pastas ficaram fora do Script Pack:</translation>
    </message>
    <message>
        <source>... and %1 more.</source>
        <translation>... e mais %1.</translation>
    </message>
    <message>
        <source>already exists in the file list.</source>
        <translation>já existe na lista de arquivos.</translation>
    </message>
    <message>
        <source>it is a link to a folder, which is not followed</source>
        <translation>é um link para uma pasta, que não é seguido</translation>
    </message>
</context>
<context>
    <name>PackReopen</name>
    <message>
        <source>&amp;Start from a Script Pack or Folder...</source>
        <translation>Começar de um Script Pack ou &amp;pasta...</translation>
    </message>
    <message>
        <source>Choose a Script Pack, or the ScriptInfo.xml of a Script Folder</source>
        <translation>Escolha um Script Pack, ou o ScriptInfo.xml de uma pasta de script</translation>
    </message>
    <message>
        <source>Script Packs and ScriptInfo.xml (*.plsc ScriptInfo.xml);;All Files (*)</source>
        <translation>Script Packs e ScriptInfo.xml (*.plsc ScriptInfo.xml);;Todos os arquivos (*)</translation>
    </message>
    <message>
        <source>Use '%1' as the Script Pack's manifest?</source>
        <translation>Usar '%1' como manifesto do Script Pack?</translation>
    </message>
    <message>
        <source>The folder '%1' holds its own ScriptInfo.xml. Use it as the Script Pack's manifest, with the folder's files at the root of the pack?</source>
        <translation>A pasta '%1' tem seu próprio ScriptInfo.xml. Usá-lo como manifesto do Script Pack, com os arquivos da pasta na raiz do pack?</translation>
    </message>
    <message>
        <source>No adds the folder under its own name, where the host does not read its manifest.</source>
        <translation>Não adiciona a pasta com o próprio nome, onde o programa não lê o seu manifesto.</translation>
    </message>
    <message>
        <source>Its name, description, About URL and version fill the Script Info page.</source>
        <translation>Seu nome, descrição, URL e versão preenchem a página de informações do script.</translation>
    </message>
    <message>
        <source>Its name, description, About URL and version fill the Script Info page, and the pack keeps its %1.</source>
        <translation>Seu nome, descrição, URL e versão preenchem a página de informações do script, e o pack mantém: %1.</translation>
    </message>
</context>
<context>
    <name>ScriptPackReader</name>
    <message>
        <source>is not valid %1</source>
        <translation>não é %1 válido</translation>
    </message>
    <message>
        <source>declares the encoding '%1', which this program cannot read</source>
        <translation>declara a codificação '%1', que este programa não sabe ler</translation>
    </message>
    <message>
        <source>is not valid %1, the encoding it declares</source>
        <translation>não é %1 válido, a codificação que declara</translation>
    </message>
    <message>
        <source>is empty</source>
        <translation>está vazio</translation>
    </message>
    <message>
        <source>is not a Script Pack manifest</source>
        <translation>não é um manifesto de Script Pack</translation>
    </message>
    <message>
        <source>is not well-formed XML (line %1: %2)</source>
        <translation>não é um XML bem formado (linha %1: %2)</translation>
    </message>
    <message>
        <source>cannot be read</source>
        <translation>não pode ser lido</translation>
    </message>
    <message>
        <source>is too large to be a manifest</source>
        <translation>é grande demais para ser um manifesto</translation>
    </message>
    <message>
        <source>the file does not exist</source>
        <translation>o arquivo não existe</translation>
    </message>
    <message>
        <source>the file cannot be read</source>
        <translation>o arquivo não pode ser lido</translation>
    </message>
    <message>
        <source>it is not a zip archive</source>
        <translation>não é um arquivo zip</translation>
    </message>
    <message>
        <source>it holds no ScriptInfo.xml at its root</source>
        <translation>não tem ScriptInfo.xml na raiz</translation>
    </message>
    <message>
        <source>it holds no ScriptInfo.xml at its root, only '%1' in a folder, where the host does not look for it</source>
        <translation>não tem ScriptInfo.xml na raiz, só '%1' numa pasta, onde o programa não o procura</translation>
    </message>
    <message>
        <source>its ScriptInfo.xml is too large to be a manifest</source>
        <translation>seu ScriptInfo.xml é grande demais para ser um manifesto</translation>
    </message>
    <message>
        <source>its ScriptInfo.xml cannot be read</source>
        <translation>seu ScriptInfo.xml não pode ser lido</translation>
    </message>
    <message>
        <source>its ScriptInfo.xml </source>
        <translation>seu ScriptInfo.xml </translation>
    </message>
    <message>
        <source>it holds no ScriptInfo.xml</source>
        <translation>não tem ScriptInfo.xml</translation>
    </message>
    <message>
        <source>'%1' is not a readable script folder: %2.</source>
        <translation>'%1' não é uma pasta de script legível: %2.</translation>
    </message>
    <message>
        <source>'%1' is not a readable ScriptInfo.xml: it %2.</source>
        <translation>'%1' não é um ScriptInfo.xml legível: %2.</translation>
    </message>
    <message>
        <source>'%1' is not a readable Script Pack: %2.</source>
        <translation>'%1' não é um Script Pack legível: %2.</translation>
    </message>
</context>
<context>
    <name>ZipNames</name>
    <message>
        <source>it is empty</source>
        <translation>está vazio</translation>
    </message>
    <message>
        <source>it holds a control character</source>
        <translation>contém um caractere de controle</translation>
    </message>
    <message>
        <source>Windows does not allow the character '%1' in names</source>
        <translation>o Windows não permite o caractere '%1' em nomes</translation>
    </message>
    <message>
        <source>it begins or ends with a space</source>
        <translation>começa ou termina com um espaço</translation>
    </message>
    <message>
        <source>it ends with a dot</source>
        <translation>termina com um ponto</translation>
    </message>
    <message>
        <source>Windows reserves the name %1 for a device</source>
        <translation>o Windows reserva o nome %1 para um dispositivo</translation>
    </message>
</context>
<context>
    <name>frmPackage</name>
    <message>
        <source>Add SubFolder</source>
        <translation>Adicionar subpasta</translation>
    </message>
    <message>
        <source>&lt; &amp;Back</source>
        <translation>&lt; &amp;Voltar</translation>
    </message>
    <message>
        <source>&amp;Next &gt;</source>
        <translation>&amp;Avançar &gt;</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Cancelar</translation>
    </message>
    <message>
        <source>Remove File from Script Pack</source>
        <translation>Remover arquivo do Script Pack</translation>
    </message>
    <message>
        <source>Remove Folder from Script Pack</source>
        <translation>Remover pasta do Script Pack</translation>
    </message>
    <message>
        <source>Welcome to the Plus! Live Bundlesmith.</source>
        <translation>Bem-vindo ao Bundlesmith do Plus! Live.</translation>
    </message>
    <message>
        <source>This wizard will help you make your Messenger Plus! Live scripts into script packs so that you can easily share and distribute them.</source>
        <translation>Este assistente ajuda você a transformar seus scripts do Messenger Plus! Live em script packs, para compartilhá-los e distribuí-los com facilidade.</translation>
    </message>
    <message>
        <source>Click Next to continue.</source>
        <translation>Clique em Avançar para continuar.</translation>
    </message>
    <message>
        <source>&amp;Script Name:</source>
        <translation>&amp;Nome do script:</translation>
    </message>
    <message>
        <source>Script Name can be maximum of 127 characters</source>
        <translation>O nome do script pode ter no máximo 127 caracteres</translation>
    </message>
    <message>
        <source>&amp;Description:</source>
        <translation>&amp;Descrição:</translation>
    </message>
    <message>
        <source>(optional)</source>
        <translation>(opcional)</translation>
    </message>
    <message>
        <source>&amp;About URL:</source>
        <translation>&amp;URL de ajuda:</translation>
    </message>
    <message>
        <source>&amp;Version:</source>
        <translation>Ve&amp;rsão:</translation>
    </message>
    <message>
        <source>&amp;Preview</source>
        <translation>&amp;Prévia</translation>
    </message>
    <message>
        <source>Add &amp;Files</source>
        <translation>Incluir arq&amp;uivos</translation>
    </message>
    <message>
        <source>Add &amp;SubFolder</source>
        <translation>Incluir &amp;subpasta</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Remover</translation>
    </message>
    <message>
        <source>&amp;Where do you want to save the Script Pack...</source>
        <translation>&amp;Onde você quer salvar o Script Pack...</translation>
    </message>
    <message>
        <source>B&amp;rowse...</source>
        <translation>&amp;Procurar...</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progresso</translation>
    </message>
    <message>
        <source>Script Pack has been created.   Hooray</source>
        <translation>O Script Pack foi criado.   Viva</translation>
    </message>
    <message>
        <source>&amp;Open Script Pack in Messenger Plus! Live</source>
        <translation>&amp;Abrir o Script Pack no Messenger Plus! Live</translation>
    </message>
    <message>
        <source>&amp;Finish</source>
        <translation>C&amp;oncluir</translation>
    </message>
    <message>
        <source>Bundlesmith</source>
        <translation>Bundlesmith</translation>
    </message>
    <message>
        <source>Make your Scripts into Packages.</source>
        <translation>Transforme seus scripts em pacotes.</translation>
    </message>
    <message>
        <source>Script Info</source>
        <translation>Informações do script</translation>
    </message>
    <message>
        <source>Some Script Information.</source>
        <translation>Algumas informações sobre o script.</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>Adicionar arquivos</translation>
    </message>
    <message>
        <source>Add Files to the Script Pack.</source>
        <translation>Adicione arquivos ao Script Pack.</translation>
    </message>
    <message>
        <source>Register as COM Objects.</source>
        <translation>Registrar como objetos COM.</translation>
    </message>
    <message>
        <source>Check the Files to be Registered as COM Objects.</source>
        <translation>Marque os arquivos a registrar como objetos COM.</translation>
    </message>
    <message>
        <source>Register .NET Files.</source>
        <translation>Registrar arquivos .NET.</translation>
    </message>
    <message>
        <source>Check the Files to be Registered with Regasm .NET Utility.</source>
        <translation>Marque os arquivos a registrar com o utilitário Regasm do .NET.</translation>
    </message>
    <message>
        <source>Save Script Pack</source>
        <translation>Salvar o Script Pack</translation>
    </message>
    <message>
        <source>Where shall we Save the Script Pack?</source>
        <translation>Onde vamos salvar o Script Pack?</translation>
    </message>
    <message>
        <source>Please Wait</source>
        <translation>Aguarde</translation>
    </message>
    <message>
        <source>Creating the Script Pack.</source>
        <translation>Criando o Script Pack.</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Concluído</translation>
    </message>
    <message>
        <source>Isn't That Nice.</source>
        <translation>Não é ótimo?</translation>
    </message>
    <message>
        <source>Are you sure?</source>
        <translation>Tem certeza?</translation>
    </message>
    <message>
        <source>Also kept from ScriptInfo.xml: </source>
        <translation>Também mantido do ScriptInfo.xml: </translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(nenhuma)</translation>
    </message>
    <message>
        <source>Script Files (*.plsc)|*.plsc</source>
        <translation>Arquivos de script (*.plsc)|*.plsc</translation>
    </message>
    <message>
        <source>Save Script File</source>
        <translation>Salvar arquivo de script</translation>
    </message>
    <message>
        <source>Script Pack has succesfully been created.</source>
        <translation>O Script Pack foi criado com sucesso.</translation>
    </message>
    <message>
        <source>There was an error creating the Script Pack.</source>
        <translation>Houve um erro ao criar o Script Pack.</translation>
    </message>
    <message>
        <source>Files of the Script Pack</source>
        <translation>Arquivos do Script Pack</translation>
    </message>
    <message>
        <source>The files and folders that go into the Script Pack.</source>
        <translation>Os arquivos e pastas que entram no Script Pack.</translation>
    </message>
    <message>
        <source>Files to register as COM objects</source>
        <translation>Arquivos a registrar como objetos COM</translation>
    </message>
    <message>
        <source>A ticked file is registered as a COM object when the pack is installed.</source>
        <translation>Um arquivo marcado é registrado como objeto COM quando o pack é instalado.</translation>
    </message>
    <message>
        <source>Files to register as .NET assemblies</source>
        <translation>Arquivos a registrar como assemblies .NET</translation>
    </message>
    <message>
        <source>A ticked file is registered with the .NET utility Regasm when the pack is installed.</source>
        <translation>Um arquivo marcado é registrado com o utilitário Regasm do .NET quando o pack é instalado.</translation>
    </message>
    <message>
        <source>All Files (*.*)|*.*</source>
        <translation>Todos os arquivos (*.*)|*.*</translation>
    </message>
    <message>
        <source>Choose Script Files</source>
        <translation>Escolha os arquivos do script</translation>
    </message>
    <message>
        <source>Are you sure you want to remove the file  '%1' ?</source>
        <translation>Tem certeza de que quer remover o arquivo  '%1' ?</translation>
    </message>
    <message>
        <source>Are you sure you want to remove the folder  '%1' ?</source>
        <translation>Tem certeza de que quer remover a pasta  '%1' ?</translation>
    </message>
</context>
</TS>