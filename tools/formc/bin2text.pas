{ Converts binary form data to its text form with Free Pascal's own converter:
  bin2text <in.bin> <out.txt>. oteLFM keeps code-page bytes of strings as they are. }
program bin2text;
{$mode objfpc}{$H+}
uses
  Classes, SysUtils;
var
  Input, Output: TFileStream;
begin
  if ParamCount <> 2 then
  begin
    WriteLn(StdErr, 'usage: bin2text <in.bin> <out.txt>');
    Halt(2);
  end;
  Input := TFileStream.Create(ParamStr(1), fmOpenRead or fmShareDenyNone);
  try
    Output := TFileStream.Create(ParamStr(2), fmCreate);
    try
      ObjectBinaryToText(Input, Output, oteLFM);
    finally
      Output.Free;
    end;
  finally
    Input.Free;
  end;
end.
