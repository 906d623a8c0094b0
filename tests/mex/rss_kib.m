function kib = rss_kib()
  % Resident set size of this process in KiB (Linux), or NaN where unknown.
  kib = NaN;
  if exist('/proc/self/status', 'file')
    tok = regexp(fileread('/proc/self/status'), 'VmRSS:\s*(\d+)', 'tokens', 'once');
    if ~isempty(tok)
      kib = str2double(tok{1});
    end
  end
end
