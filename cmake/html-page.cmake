# A Markdown page of docs/ as the package carries it: one HTML file that any browser opens
# offline, with the pictures beside it. cmark-gfm (GitHub's CommonMark, with tables) makes the
# body; the head says UTF-8 and Japanese, and a few lines of style keep the tables readable.
# Usage: cmake -DCMARK=<cmark-gfm> -DIN=<page.md> -DOUT=<page.html> -P html-page.cmake
execute_process(
  COMMAND ${CMARK} --extension table --extension autolink --to html ${IN}
  OUTPUT_VARIABLE body
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmark-gfm could not convert ${IN}")
endif()
# The title is the page's first heading.
if(body MATCHES "<h[12]>([^<]*)</h[12]>")
  set(title "${CMAKE_MATCH_1}")
else()
  get_filename_component(title "${IN}" NAME_WE)
endif()
file(WRITE "${OUT}" "<!DOCTYPE html>
<html lang=\"ja\">
<head>
<meta charset=\"utf-8\">
<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">
<title>${title}</title>
<style>
body { font-family: \"Yu Gothic UI\", \"Meiryo\", sans-serif; max-width: 52em; margin: 2em auto;
       padding: 0 1em; line-height: 1.7; color: #222; }
h1, h2, h3 { line-height: 1.3; }
h2 { border-bottom: 1px solid #ccc; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; vertical-align: top; }
th { background: #f0f0f0; }
code, pre { font-family: \"MS Gothic\", \"Osaka-Mono\", monospace; background: #f6f6f6; }
pre { padding: 0.6em; overflow-x: auto; }
img { max-width: 100%; border: 1px solid #ddd; }
</style>
</head>
<body>
${body}</body>
</html>
")
