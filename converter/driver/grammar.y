/* The command-file grammar: input files, options, and the ROMS and SECTIONS
   directives. Built with the yacc skeleton so that error recovery follows
   the classic yacc discipline; the actions marked "at once" below sit in
   states with a default reduction, so they run before the next token is
   scanned (they switch the lexer's mode or read the input themselves). */

%code requires {
#include <cstdint>
#include <string>

namespace romcvt {
struct RunContext;

// Parser state that lives for the parse of one command file.
struct CommandFileParse {
    // The parser waits for the first token of a statement.
    bool at_statement_start = false;
    // Fewer than three tokens were accepted since the last syntax error.
    bool recovering = false;
};
}  // namespace romcvt
}

%code {
#include "converter/driver/input_files.h"
#include "converter/driver/options.h"
#include "converter/driver/run_context.h"
#include "converter/memory/memory_config.h"
#include "converter/memory/sections.h"

// The parser stack holds 150 entries; deeper input (only very deep
// parentheses need it) is reported as a syntax error and ends the parse.
// Bison gives up as soon as its stack is full rather than when a push would
// not fit, so one more slot is declared to let all 150 entries be used.
#define YYINITDEPTH 151
#define YYMAXDEPTH 151

namespace {

int yylex(YYSTYPE* value, romcvt::RunContext& run, romcvt::CommandFileParse& parse);
void yyerror(romcvt::RunContext& run, romcvt::CommandFileParse& parse, const char* message);
void report_syntax_error(romcvt::RunContext& run);
void skip_to_next_line(romcvt::RunContext& run);
void apply_command_file_option(romcvt::RunContext& run, const std::string& text);
void await_statement(romcvt::CommandFileParse& parse, bool recovering);

}  // namespace
}

%define api.pure full
%parse-param {romcvt::RunContext& run} {romcvt::CommandFileParse& parse}
%lex-param {romcvt::RunContext& run} {romcvt::CommandFileParse& parse}
%expect 0

%union {
    const std::string* text;
    uint32_t value;
}

%token <text> NAME
%token <value> NUMBER
%token ROMS SECTIONS ORIGIN LENGTH ROMWIDTH MEMWIDTH FILL FILES PAGE BOOT PADDR DATAWIDTH
%nterm <value> number

%%

command_file
    : statement_list
    ;

statement_list
    : statement_list statement  { await_statement(parse, YYRECOVERING()); }
    | %empty                    { await_statement(parse, YYRECOVERING()); }
    ;

statement
    : option
    | input_file
    | roms_directive
    | sections_directive
    | error                     { skip_to_next_line(run); yyerrok; yyclearin; }
    ;

option
    : '-' NAME                  { apply_command_file_option(run, *$2); }  /* at once */
    | '-' '-' NAME              { apply_command_file_option(run, "-" + *$3); }  /* at once */
    ;

input_file
    : NAME                      { romcvt::open_input_file(run, *$1); }  /* at once */
    ;

roms_directive
    : roms_keyword '{' memory_spec_list '}'
                                { run.lexer.enter_name_mode(); }  /* at once */
    ;

roms_keyword
    : ROMS                      { romcvt::begin_roms_directive(run); }  /* at once */
    ;

memory_spec_list
    : memory_spec
    | memory_spec_list memory_spec
    ;

memory_spec
    : range_name opt_colon attribute_list
                                { romcvt::end_range(run); }
    | PAGE NUMBER ':'           { romcvt::set_roms_page(run, static_cast<int32_t>($2)); }
    | error
    ;

range_name
    : NAME                      { romcvt::begin_range(run, *$1); }
    ;

attribute_list
    : attribute
    | attribute_list opt_comma attribute
    ;

attribute
    : ORIGIN opt_equals number  { romcvt::set_range_origin(run, $3); }
    | LENGTH opt_equals number  { romcvt::set_range_length(run, $3); }
    | ROMWIDTH opt_equals number
                                { romcvt::set_range_rom_width(run, $3); }
    | MEMWIDTH opt_equals number
                                { romcvt::set_range_mem_width(run, $3); }
    | FILL opt_equals number    { romcvt::set_range_fill(run, $3); }
    | files_keyword opt_equals '{' file_name_list '}'
                                { run.lexer.enter_directive_mode(); }  /* at once */
    ;

files_keyword
    : FILES                     { run.lexer.enter_name_mode(); }  /* at once */
    ;

file_name_list
    : NAME                      { romcvt::add_range_file(run, *$1); }
    | file_name_list opt_comma NAME
                                { romcvt::add_range_file(run, *$3); }
    ;

sections_directive
    : sections_keyword '{' section_spec_list '}'
                                { run.lexer.enter_name_mode(); }  /* at once */
    ;

sections_keyword
    : SECTIONS                  { romcvt::begin_sections_directive(run); }  /* at once */
    ;

section_spec_list
    : section_spec
    | section_spec_list section_spec
    ;

section_spec
    : section_head opt_comma    { romcvt::end_section(run); }
    | spec_name opt_colon section_attribute_list
                                { romcvt::end_section(run); }
    | error
    ;

section_head
    : spec_name boot_flag       { romcvt::set_section_boot(run); }
    | spec_name opt_colon
    ;

spec_name
    : NAME                      { romcvt::begin_section(run, *$1); }
    ;

boot_flag
    : BOOT
    | '=' BOOT
    | ':' BOOT
    | '(' BOOT ')'
    ;

section_attribute_list
    : section_attribute
    | section_attribute_list opt_comma section_attribute
    ;

section_attribute
    : PADDR opt_equals number   { romcvt::set_section_paddr(run, $3); }
    | PADDR opt_equals BOOT     { romcvt::set_section_boot(run); }
    | DATAWIDTH opt_equals number
                                { romcvt::set_section_data_width(run, $3); }
    ;

number
    : NUMBER                    { $$ = $1; }
    | '(' number ')'            { $$ = $2; }
    ;

opt_equals
    : '='
    | %empty
    ;

opt_comma
    : ','
    | %empty
    ;

opt_colon
    : ':'
    | %empty
    ;

%%

namespace {

bool can_begin_statement(int kind) {
    return kind == romcvt::kTokenEnd || kind == '-' || kind == romcvt::kTokenName ||
           kind == romcvt::kTokenRoms || kind == romcvt::kTokenSections;
}

void await_statement(romcvt::CommandFileParse& parse, bool recovering) {
    parse.at_statement_start = true;
    parse.recovering = recovering;
}

int yylex(YYSTYPE* value, romcvt::RunContext& run, romcvt::CommandFileParse& parse) {
    romcvt::Token token = run.lexer.next_token();
    if (parse.at_statement_start) {
        parse.at_statement_start = false;
        // Where a new statement would begin, a token that cannot begin one
        // means the statement list is complete: no error alternative is
        // left and the parse of this file ends. Classic yacc gets there by
        // reducing command_file by default; bison keeps the error shift of
        // that state instead, so the outcome is made here.
        if (!can_begin_statement(token.kind)) {
            if (!parse.recovering) report_syntax_error(run);
            return YYEOF;
        }
    }
    switch (token.kind) {
    case romcvt::kTokenEnd: return YYEOF;
    case romcvt::kTokenName: value->text = token.text; return NAME;
    case romcvt::kTokenNumber: value->value = token.value; return NUMBER;
    case romcvt::kTokenRoms: return ROMS;
    case romcvt::kTokenSections: return SECTIONS;
    case romcvt::kTokenOrigin: return ORIGIN;
    case romcvt::kTokenLength: return LENGTH;
    case romcvt::kTokenRomWidth: return ROMWIDTH;
    case romcvt::kTokenMemWidth: return MEMWIDTH;
    case romcvt::kTokenFill: return FILL;
    case romcvt::kTokenFiles: return FILES;
    case romcvt::kTokenPage: return PAGE;
    case romcvt::kTokenBoot: return BOOT;
    case romcvt::kTokenPaddr: return PADDR;
    case romcvt::kTokenDataWidth: return DATAWIDTH;
    default: return token.kind;  // punctuation is its character code
    }
}

// The echo shows the line up to and including the offending token.
void report_syntax_error(romcvt::RunContext& run) {
    run.diag.write_raw(run.lexer.echo_text());
    run.diag.write_raw("\n");
    run.diag.report(romcvt::kError, "syntax error");
}

// Also reached for a stack overflow ("memory exhausted"), which is shown the
// same way.
void yyerror(romcvt::RunContext& run, romcvt::CommandFileParse&, const char*) {
    report_syntax_error(run);
}

// After an error at statement level: discards the rest of the line and the
// first token of a later line.
void skip_to_next_line(romcvt::RunContext& run) {
    int line = run.lexer.line_counter();
    for (;;) {
        romcvt::Token token = run.lexer.next_token();
        if (token.kind == romcvt::kTokenEnd || run.lexer.line_counter() > line) return;
    }
}

void apply_command_file_option(romcvt::RunContext& run, const std::string& text) {
    romcvt::CommandFileSource source(run);
    romcvt::apply_option(run, text, source);
}

}  // namespace

namespace romcvt {

void parse_command_file(RunContext& run) {
    CommandFileParse parse;
    yyparse(run, parse);
}

}  // namespace romcvt
